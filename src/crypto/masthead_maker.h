// MastheadMaker: the message receiver of a masthead's signed content.
//
// The content must be multipart/related with the parameter type "Application/x-Mendle-Site-Masthead"
// (ASCII case ignored) or, once more, multipart/signed, whose first part is then read by these same
// rules and whose signature part is dropped; any other content type throws NotAMasthead at the
// body, and so does signed content nested more than kDeepestNestedMastheadSignature deep. Header fields other than "content-type" go to the header receiver; each part of the
// multipart/related body goes to the part locator.
//
// The maker owns the part parsers it builds for one body (released at End) and neither the header
// receiver nor the part locator. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "base/exceptions.h"
#include "crypto/masthead_header_set.h"
#include "formats/content_type.h"
#include "formats/message_receivers.h"
#include "formats/structured_fields.h"

class NotAMasthead : public DebuggableException {};

inline constexpr unsigned kDeepestNestedMastheadSignature = 4;

class MastheadMaker : public MessageReceiver {
  public:
    // `nesting` counts the multipart/signed layers around this content inside the outer signed one.
    MastheadMaker(MastheadHeaderReceiver& headers, MessageReceiver& partLocator, unsigned nesting = 0);
    MastheadMaker(const MastheadMaker&) = delete;
    MastheadMaker& operator=(const MastheadMaker&) = delete;
    ~MastheadMaker() override;

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    struct RelatedParts;
    struct NestedSignedContent;

    MastheadHeaderReceiver* m_headers;
    MessageReceiver* m_partLocator;
    unsigned m_nesting;
    ContentTypeReceiver m_contentType;
    StructuredFieldMaker m_contentTypeMaker;
    std::unique_ptr<RelatedParts> m_related;
    std::unique_ptr<NestedSignedContent> m_nested;
};
