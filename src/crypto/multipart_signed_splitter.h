// Separating the two parts of a multipart/signed message without verifying anything, for a signed
// file read for information only.
//
// MultipartSignedSplitter is the MessageReceiver of the whole message (behind a MessageMaker). It
// reads the Content-Type, refuses any message that is not multipart/signed with NotASignedMessage,
// and hands the parts of the body, found by a MultipartSplitter at the message's boundary, to a
// MultipartSignedReceiver: the first part to the receiver's ContentReceiver, every later part to its
// SignatureReceiver. The receiver's Begin and End enclose the body.
//
// MultipartSignedSignatureIgnorer is the receiver that keeps the content and drops the signature.
//
// Nothing here owns its receivers. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "formats/content_type.h"
#include "formats/message_receivers.h"
#include "formats/multipart_splitter.h"
#include "formats/structured_fields.h"

// What a MultipartSignedSplitter found. Each slot's default drops what it is given. The line
// receivers returned belong to the receiver (or are process-wide) and stay valid until the part
// ends.
class MultipartSignedReceiver {
  public:
    virtual ~MultipartSignedReceiver() = default;
    // The body begins.
    virtual void Begin() {}
    // The receiver of the first part, the signed content; `hashAlgorithms` are the HashAlgorithmBits
    // of the message's "micalg" parameter.
    virtual LineReceiver& ContentReceiver(std::uint32_t hashAlgorithms);
    // The receiver of a later part: the signature, or any part after it.
    virtual LineReceiver& SignatureReceiver();
    // The body has ended.
    virtual void End() {}
};

// Passes the content to one line receiver (not owned) and drops the signature.
class MultipartSignedSignatureIgnorer : public MultipartSignedReceiver {
  public:
    void Init(LineReceiver& contentReceiver) { m_content = &contentReceiver; }

    LineReceiver& ContentReceiver(std::uint32_t hashAlgorithms) override;

  private:
    LineReceiver* m_content = nullptr;
};

// The part receiver behind the splitter: routes each part, Begin to End, to the receiver's
// ContentReceiver while it is the first part and to its SignatureReceiver afterwards.
class MultipartSignedMaker : public LineReceiver {
  public:
    // Binds the receiver for one body; the next part is the first.
    void Bind(MultipartSignedReceiver& receiver, std::uint32_t hashAlgorithms);

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    MultipartSignedReceiver* m_receiver = nullptr;
    LineReceiver* m_part = nullptr;
    std::uint32_t m_hashAlgorithms = 0;
    bool m_firstPart = true;
};

class MultipartSignedSplitter : public MessageReceiver {
  public:
    void Init(MultipartSignedReceiver& receiver) { m_receiver = &receiver; }

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    // NotASignedMessage unless the message is multipart/signed.
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    MultipartSignedReceiver* m_receiver = nullptr;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_fields;
    MultipartSignedMaker m_maker;
    MultipartSplitter m_splitter;
    bool m_bodyBegun = false;
};
