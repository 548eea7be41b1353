// SignatureSplitter: the part receiver behind the MultipartSplitter of a multipart/signed body. The
// first part is the signed content: it goes unchanged to the content receiver and, at the same
// time, into the digest stream in the canonical form the signer hashed, every line end written as
// CR LF whatever it was in the input. Every later part (the signature, and any part after it) goes
// unchanged to the signature path.
//
// Bind before each message; it also starts the message over (the next part is the content). The
// splitter owns none of its three targets. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class SignatureSplitter : public LineReceiver {
  public:
    void Bind(LineReceiver& content, DataReceiver& digests, LineReceiver& signaturePath);

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    LineReceiver* m_content = nullptr;
    DataReceiver* m_digests = nullptr;
    LineReceiver* m_signaturePath = nullptr;
    bool m_inContent = true;
};
