#include "crypto/masthead_part_locator.h"

#include <limits>

#include "base/character_classes.h"
#include "foundation/data_stages.h"

namespace {

constexpr std::int32_t kImageXBmp = 0x1006;

}  // namespace

// The lines of a multipart/signed part: the splitter cuts its parts, the remover keeps the first,
// and the message maker reads that one into a locator filling the same locations.
struct MastheadPartLocator::NestedSignedPart {
    NestedSignedPart(MastheadPartLocations& locations, unsigned nesting, ConstData boundary)
        : locator(locations, nesting), maker(locator), remover(maker), splitter(remover, boundary) {}

    MastheadPartLocator locator;
    MessageMaker maker;
    SignatureRemover remover;
    MultipartSplitter splitter;
};

std::uint32_t MastheadPartOffset(std::uint64_t offset) {
    if (offset > std::numeric_limits<std::uint32_t>::max()) throw RequiredValueWouldOverflow();
    return static_cast<std::uint32_t>(offset);
}

MastheadPartLocator::MastheadPartLocator(MastheadPartLocations& locations, unsigned nesting)
    : m_locations(&locations),
      m_nesting(nesting),
      m_contentTypeMaker(m_contentType),
      m_contentID(m_contentIDBytes, m_contentIDBytes + kContentIDCapacity) {}

MastheadPartLocator::~MastheadPartLocator() = default;

void MastheadPartLocator::Begin(std::uint64_t) {
    m_contentType.Reset();
    m_contentID.position = m_contentID.start;
}

DataReceiver& MastheadPartLocator::Header(std::uint64_t, ConstData name) {
    if (Ascii::EqualIgnoringCase(name, ConstData(std::string_view("content-type")))) return m_contentTypeMaker;
    if (Ascii::EqualIgnoringCase(name, ConstData(std::string_view("content-id"))))
        return m_contentIDFiller.SetUp(m_contentID, Ascii::CaseLoweringFilter::Instance());
    return IgnoreDataReceiver::Instance();
}

LineReceiver& MastheadPartLocator::Body(std::uint64_t offset) {
    m_bodyStart = MastheadPartOffset(offset);
    if (m_contentType.Subtype() != ContentTypeCode::kMultipartSigned || m_nesting >= kDeepestNestedPartSignature)
        return IgnoreLineReceiver::Instance();
    m_nested = std::make_unique<NestedSignedPart>(*m_locations, m_nesting + 1, m_contentType.Boundary());
    return m_nested->splitter;
}

// A multipart/signed part selects no row of its own: its first part has recorded itself already.
MastheadPartRange* MastheadPartLocator::SelectedRow() {
    if (m_contentType.Subtype() == kImageXBmp) return &m_locations->Bitmap;
    if (m_contentType.Subtype() != ContentTypeCode::kTextPlain) return nullptr;
    const ConstData contentID = m_contentID.Filled();
    if (Ascii::EqualIgnoringCase(contentID, ConstData(std::string_view("operator-list"))))
        return &m_locations->OperatorList;
    if (Ascii::EqualIgnoringCase(contentID, ConstData(std::string_view("encryption-certificate"))))
        return &m_locations->EncryptionCertificate;
    return &m_locations->PlainText;
}

void MastheadPartLocator::End(std::uint64_t offset) {
    const std::uint32_t end = MastheadPartOffset(offset);
    if (MastheadPartRange* row = SelectedRow()) *row = MastheadPartRange{m_bodyStart, end};
    m_contentID.position = m_contentID.start;
    m_nested.reset();
}
