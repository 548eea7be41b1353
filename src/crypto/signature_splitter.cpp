#include "crypto/signature_splitter.h"

namespace {

// The signer hashed the content with CR LF line ends (the canonical form of MIME text), so a
// message stored with LF line ends still verifies.
const Byte kCanonicalLineEnd[] = {'\r', '\n'};

}  // namespace

void SignatureSplitter::Bind(LineReceiver& content, DataReceiver& digests, LineReceiver& signaturePath) {
    m_content = &content;
    m_digests = &digests;
    m_signaturePath = &signaturePath;
    m_inContent = true;
}

void SignatureSplitter::Begin(std::uint64_t startOffset) {
    if (!m_inContent) {
        m_signaturePath->Begin(startOffset);
        return;
    }
    m_content->Begin(startOffset);
    m_digests->Begin();
}

void SignatureSplitter::ReceiveText(const Byte* begin, const Byte* end) {
    if (!m_inContent) {
        m_signaturePath->ReceiveText(begin, end);
        return;
    }
    m_content->ReceiveText(begin, end);
    m_digests->Receive(begin, end);
}

void SignatureSplitter::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    if (!m_inContent) {
        m_signaturePath->EndLine(terminatorStart, terminatorEnd);
        return;
    }
    m_content->EndLine(terminatorStart, terminatorEnd);
    m_digests->Receive(kCanonicalLineEnd, kCanonicalLineEnd + sizeof kCanonicalLineEnd);
}

void SignatureSplitter::End(std::uint64_t total) {
    if (!m_inContent) {
        m_signaturePath->End(total);
        return;
    }
    m_inContent = false;
    m_content->End(total);
    m_digests->End();
}
