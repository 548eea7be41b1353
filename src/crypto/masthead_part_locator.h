// Where the parts of a masthead's multipart/related body lie in the masthead file.
//
// MastheadPartLocator is the message receiver of each part. It reads the part's "content-type" and
// "content-id" (lower-cased, cut to 256 bytes) and, at the part's end, records the byte range of its
// body in the row the part selects:
//
//   image/x-bmp                                      bitmap
//   text/plain, content-id "operator-list"           operator list
//   text/plain, content-id "encryption-certificate"  encryption certificate
//   text/plain, any other content-id or none         plain text
//   multipart/signed                                 its first part, by these same rules (the
//                                                    signature part is dropped), up to
//                                                    kDeepestNestedPartSignature layers deep
//   anything else                                    nothing
//
// A later part that selects the same row replaces the earlier range. An empty range means the part
// is absent. Offsets are those of the whole masthead file and must fit in 32 bits.
//
// The locator does not own the locations it fills. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "base/exceptions.h"
#include "formats/content_type.h"
#include "formats/message_maker.h"
#include "formats/message_receivers.h"
#include "formats/multipart_splitter.h"
#include "formats/structured_fields.h"
#include "formats/value_receivers.h"

struct MastheadPartRange {
    std::uint32_t Start = 0;
    std::uint32_t End = 0;

    bool IsEmpty() const { return Start == End; }
    bool operator==(const MastheadPartRange&) const = default;
};

struct MastheadPartLocations {
    MastheadPartRange Bitmap;
    MastheadPartRange PlainText;
    MastheadPartRange OperatorList;
    MastheadPartRange EncryptionCertificate;

    bool operator==(const MastheadPartLocations&) const = default;
};

// A part offset of the masthead file does not fit in 32 bits.
class RequiredValueWouldOverflow : public DebuggableException {};

class MastheadPartLocator : public MessageReceiver {
  public:
    static constexpr unsigned kDeepestNestedPartSignature = 4;

    // `nesting` counts the multipart/signed parts around this one.
    explicit MastheadPartLocator(MastheadPartLocations& locations, unsigned nesting = 0);
    MastheadPartLocator(const MastheadPartLocator&) = delete;
    MastheadPartLocator& operator=(const MastheadPartLocator&) = delete;
    ~MastheadPartLocator() override;

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    static constexpr std::size_t kContentIDCapacity = 256;

    // The reader of a nested multipart/signed part: its first part goes to a locator of its own.
    struct NestedSignedPart;

    MastheadPartRange* SelectedRow();

    MastheadPartLocations* m_locations;
    unsigned m_nesting;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_contentTypeMaker;
    Byte m_contentIDBytes[kContentIDCapacity];
    FillBuffer m_contentID;
    BufferFiller m_contentIDFiller;
    std::uint32_t m_bodyStart = 0;
    std::unique_ptr<NestedSignedPart> m_nested;
};

// The offset as a 32-bit part offset; RequiredValueWouldOverflow when it does not fit.
std::uint32_t MastheadPartOffset(std::uint64_t offset);
