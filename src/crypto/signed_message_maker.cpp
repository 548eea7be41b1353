#include "crypto/signed_message_maker.h"

#include "crypto/signature_verification.h"
#include "foundation/data_stages.h"

std::uint32_t DigestFlagsOfHashAlgorithms(std::uint32_t hashAlgorithms) {
    std::uint32_t flags = 0;
    if ((hashAlgorithms & HashAlgorithmBits::kMD5) != 0) flags |= DualHashReceiver::kFirstDigest;
    if ((hashAlgorithms & HashAlgorithmBits::kSHA1) != 0) flags |= DualHashReceiver::kContentDigest;
    return flags;
}

void SignedMessageMaker::Init(LineReceiver& contentReceiver, SignatureVerification& verification) {
    m_content = &contentReceiver;
    m_verification = &verification;
}

void SignedMessageMaker::Begin(std::uint64_t) {
    m_verification->Clear();
    m_contentType.Reset();
    m_signedBody = false;
}

DataReceiver& SignedMessageMaker::Header(std::uint64_t, ConstData name) {
    if (name.View() != "content-type") return IgnoreDataReceiver::Instance();
    m_fields.SetTarget(m_contentType);
    return m_fields;
}

// The signature parts run through a MessageMaker of their own: each is a MIME entity with its own
// header block.
LineReceiver& SignedMessageMaker::Body(std::uint64_t) {
    if (m_contentType.Subtype() != ContentTypeCode::kMultipartSigned) throw NotASignedMessage();
    DataReceiver& digests =
        m_digests.SelectDigests(DigestFlagsOfHashAlgorithms(m_contentType.HashAlgorithms()));
    m_signature.Init(*m_verification);
    m_signaturePath.SetTarget(m_signature);
    m_parts.Bind(*m_content, digests, m_signaturePath);
    m_splitter.SetBoundary(m_parts, m_contentType.Boundary());
    m_signedBody = true;
    return m_splitter;
}

void SignedMessageMaker::End(std::uint64_t) {
    if (m_signedBody) m_verification->MatchSigners(m_digests);
    m_signedBody = false;
}
