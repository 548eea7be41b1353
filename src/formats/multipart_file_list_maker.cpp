#include "formats/multipart_file_list_maker.h"

namespace {

bool IsContentType(ConstData name) {
    return ConstDataEqual(name, ConstDataOfCString("content-type"));
}

}  // namespace

MultipartFileListMaker::MultipartFileListMaker()
    : m_contentTypeText(m_contentTypeBytes, m_contentTypeBytes + sizeof m_contentTypeBytes) {
    m_contentTypeFields.SetTarget(m_contentType);
    m_contentTypeTee.SetTargets(m_contentTypeFiller, m_contentTypeFields);
    m_contentTypeValue.SetUp(m_contentTypeTee, kMaximumFileListValueBytes);
}

void MultipartFileListMaker::Reset(FileListReceiver& target, FileListPartVerifier* verifier) {
    m_target = &target;
    m_verifier = verifier;
    m_merger.Reset(target);
    m_fileList.Start(m_mergerInput);
    m_signedPart = nullptr;
    m_openLevels = 0;
    m_depth = 0;
    m_leaves = 0;
}

// Without a verifier the list reader sees every part from its start, since a part's header lines are
// the list's header set when the part turns out to be a leaf; a multipart/mixed part simply never
// reaches its Body there.
void MultipartFileListMaker::Begin(std::uint64_t offset) {
    m_parts[m_depth++] = PartKind::Undecided;
    m_contentType.Reset();
    m_contentTypeText.position = m_contentTypeText.start;
    if (m_verifier == nullptr) {
        m_fileList.Start(m_mergerInput);
        m_fileList.Begin(offset);
    }
}

// The buffer filler lets go of its buffer at the end of every value.
DataReceiver& MultipartFileListMaker::Header(std::uint64_t offset, ConstData name) {
    if (IsContentType(name)) m_contentTypeFiller.SetUp(m_contentTypeText, m_copy);
    if (m_verifier != nullptr) {
        if (IsContentType(name)) return m_contentTypeValue;
        return IgnoreDataReceiver::Instance();
    }
    DataReceiver& listValue = m_fileList.Header(offset, name);
    if (!IsContentType(name)) return listValue;
    return m_unsignedContentType.SetTargets(m_contentTypeValue, listValue);
}

void MultipartFileListMaker::EndHeader(std::uint64_t offset) {
    if (m_verifier == nullptr) m_fileList.EndHeader(offset);
}

LineReceiver& MultipartFileListMaker::Body(std::uint64_t offset) {
    PartKind& kind = m_parts[m_depth - 1];
    if (m_contentType.Subtype() != ContentTypeCode::kMultipartMixed) {
        kind = PartKind::Leaf;
        ++m_leaves;
        return BeginLeaf(offset);
    }
    if (m_openLevels == kMaximumMixedLevels) throw StackFull();
    kind = PartKind::Mixed;
    MixedLevel& level = m_levels[m_openLevels++];
    level.parts.SetTarget(*this);
    level.splitter.SetBoundary(level.parts, m_contentType.Boundary());
    return level.splitter;
}

// A signed leaf is replayed into the verifier's reader from its start: the reader needs the
// content type (boundary and digest names), the only header line of the leaf it reads.
LineReceiver& MultipartFileListMaker::BeginLeaf(std::uint64_t offset) {
    if (m_verifier == nullptr) return m_fileList.Body(offset);
    m_fileList.Start(m_mergerInput);
    m_signedPart = &m_verifier->BeginPart(m_signedContent);
    m_signedPart->Begin(offset);
    SendHeaderField(*m_signedPart, offset, offset, "content-type", m_contentTypeText.Filled());
    return m_signedPart->Body(offset);
}

void MultipartFileListMaker::End(std::uint64_t offset) {
    const PartKind kind = m_parts[--m_depth];
    if (kind == PartKind::Mixed) --m_openLevels;
    if (kind == PartKind::Leaf && m_verifier == nullptr) m_fileList.End(offset);
    if (kind == PartKind::Leaf && m_verifier != nullptr) {
        m_signedPart->End(offset);
        m_signedPart = nullptr;
        m_verifier->EndPart();
    }
    if (m_depth != 0) return;
    if (m_leaves == 0) throw NotAFileList();
    m_merger.End();
}
