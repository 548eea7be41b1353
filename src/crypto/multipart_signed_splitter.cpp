#include "crypto/multipart_signed_splitter.h"

#include "crypto/signature_verification.h"
#include "foundation/data_stages.h"

LineReceiver& MultipartSignedReceiver::ContentReceiver(std::uint32_t) {
    return IgnoreLineReceiver::Instance();
}

LineReceiver& MultipartSignedReceiver::SignatureReceiver() {
    return IgnoreLineReceiver::Instance();
}

LineReceiver& MultipartSignedSignatureIgnorer::ContentReceiver(std::uint32_t) {
    return *m_content;
}

void MultipartSignedMaker::Bind(MultipartSignedReceiver& receiver, std::uint32_t hashAlgorithms) {
    m_receiver = &receiver;
    m_hashAlgorithms = hashAlgorithms;
    m_firstPart = true;
}

void MultipartSignedMaker::Begin(std::uint64_t startOffset) {
    m_part = m_firstPart ? &m_receiver->ContentReceiver(m_hashAlgorithms) : &m_receiver->SignatureReceiver();
    m_part->Begin(startOffset);
}

void MultipartSignedMaker::ReceiveText(const Byte* begin, const Byte* end) {
    m_part->ReceiveText(begin, end);
}

void MultipartSignedMaker::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    m_part->EndLine(terminatorStart, terminatorEnd);
}

void MultipartSignedMaker::End(std::uint64_t total) {
    m_firstPart = false;
    m_part->End(total);
}

void MultipartSignedSplitter::Begin(std::uint64_t) {
    m_contentType.Reset();
    m_bodyBegun = false;
}

DataReceiver& MultipartSignedSplitter::Header(std::uint64_t, ConstData name) {
    if (name.View() != "content-type") return IgnoreDataReceiver::Instance();
    m_fields.SetTarget(m_contentType);
    return m_fields;
}

LineReceiver& MultipartSignedSplitter::Body(std::uint64_t) {
    if (m_contentType.Subtype() != ContentTypeCode::kMultipartSigned) throw NotASignedMessage();
    m_maker.Bind(*m_receiver, m_contentType.HashAlgorithms());
    m_splitter.SetBoundary(m_maker, m_contentType.Boundary());
    m_bodyBegun = true;
    m_receiver->Begin();
    return m_splitter;
}

void MultipartSignedSplitter::End(std::uint64_t) {
    if (m_bodyBegun) m_receiver->End();
    m_bodyBegun = false;
}
