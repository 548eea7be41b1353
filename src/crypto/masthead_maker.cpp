#include "crypto/masthead_maker.h"

#include <string_view>

#include "base/character_classes.h"
#include "formats/message_maker.h"
#include "formats/multipart_splitter.h"

namespace {

constexpr std::int32_t kMultipartRelated = 0x5009;
constexpr std::string_view kMastheadType = "Application/x-Mendle-Site-Masthead";

}  // namespace

// The parts of the multipart/related body, each a message read into the part locator.
struct MastheadMaker::RelatedParts {
    RelatedParts(MessageReceiver& partLocator, ConstData boundary)
        : partMaker(partLocator), splitter(partMaker, boundary) {}

    MessageMaker partMaker;
    MultipartSplitter splitter;
};

// Signed content that is itself multipart/signed: its first part is read by a maker of its own.
struct MastheadMaker::NestedSignedContent {
    NestedSignedContent(MastheadHeaderReceiver& headers, MessageReceiver& partLocator, unsigned nesting,
                        ConstData boundary)
        : masthead(headers, partLocator, nesting), contentMaker(masthead), remover(contentMaker), splitter(remover, boundary) {}

    MastheadMaker masthead;
    MessageMaker contentMaker;
    SignatureRemover remover;
    MultipartSplitter splitter;
};

MastheadMaker::MastheadMaker(MastheadHeaderReceiver& headers, MessageReceiver& partLocator, unsigned nesting)
    : m_headers(&headers), m_partLocator(&partLocator), m_nesting(nesting), m_contentTypeMaker(m_contentType) {}

MastheadMaker::~MastheadMaker() = default;

void MastheadMaker::Begin(std::uint64_t) { m_contentType.Reset(); }

DataReceiver& MastheadMaker::Header(std::uint64_t, ConstData name) {
    if (Ascii::EqualIgnoringCase(name, ConstData(std::string_view("content-type")))) return m_contentTypeMaker;
    return m_headers->Header(name);
}

LineReceiver& MastheadMaker::Body(std::uint64_t) {
    if (m_contentType.Subtype() == kMultipartRelated &&
        Ascii::EqualIgnoringCase(m_contentType.TypeParameter(), ConstData(kMastheadType))) {
        m_related = std::make_unique<RelatedParts>(*m_partLocator, m_contentType.Boundary());
        return m_related->splitter;
    }
    // Each layer of signed content adds stages to the call chain of every line: a bound on the layers
    // keeps a crafted file from exhausting the stack.
    if (m_contentType.Subtype() == ContentTypeCode::kMultipartSigned && m_nesting < kDeepestNestedMastheadSignature) {
        m_nested = std::make_unique<NestedSignedContent>(*m_headers, *m_partLocator, m_nesting + 1,
                                                         m_contentType.Boundary());
        return m_nested->splitter;
    }
    throw NotAMasthead();
}

void MastheadMaker::End(std::uint64_t) {
    m_related.reset();
    m_nested.reset();
}
