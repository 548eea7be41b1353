#include "crypto/signature_verification.h"

#include <openssl/objects.h>

#include "crypto/certificate_stacks.h"
#include "crypto/certificates.h"
#include "crypto/openssl_hash.h"
#include "crypto/pkcs7_objects.h"
#include "crypto/revocation_store.h"

namespace {

bool IsDetachedSignedData(PKCS7* message) {
    return message && OBJ_obj2nid(message->type) == NID_pkcs7_signed && message->d.sign &&
           PKCS7_ctrl(message, PKCS7_OP_GET_DETACHED_SIGNATURE, 0, nullptr) != 0;
}

STACK_OF(X509)* OwnCertificates(PKCS7* message) { return GetPKCS7SignedData(message)->cert; }

STACK_OF(PKCS7_SIGNER_INFO)* SignerInfos(PKCS7* message) {
    return message && PKCS7_type_is_signed(message) && message->d.sign ? message->d.sign->signer_info : nullptr;
}

// The position of an element in a stack, or -1.
template <class Stack, class Element>
int PositionIn(Stack* stack, Element* element) {
    if (!stack || !element) return -1;
    for (int i = 0; i < OPENSSL_sk_num(reinterpret_cast<const OPENSSL_STACK*>(stack)); ++i)
        if (OPENSSL_sk_value(reinterpret_cast<const OPENSSL_STACK*>(stack), i) == element) return i;
    return -1;
}

// The digest stage for the signer's digest algorithm: MD5 the first digest, SHA-1 the content digest.
OpenSSLHash* SelectDigest(DualHashReceiver& digests, const PKCS7_SIGNER_INFO* signerInfo) {
    if (!signerInfo->digest_alg) return nullptr;
    switch (OBJ_obj2nid(signerInfo->digest_alg->algorithm)) {
        case NID_md5: return digests.GetFirstHash();
        case NID_sha1: return digests.GetContentHash();
        default: return nullptr;
    }
}

}  // namespace

NoAuthorizedSignature::NoAuthorizedSignature(std::unique_ptr<CaughtException> cause)
    : m_detail(std::make_shared<Detail>()) {
    m_detail->cause = std::move(cause);
}

const char* NoAuthorizedSignature::what() const noexcept {
    if (m_detail->text.empty()) {
        try {
            std::string text = DebuggableException::what();
            if (m_detail->cause) text += std::string(" (") + m_detail->cause->What() + ")";
            m_detail->text = std::move(text);
        } catch (...) {
            return DebuggableException::what();
        }
    }
    return m_detail->text.c_str();
}

SignatureVerification::SignatureVerification(const SignatureVerification& other) {
    for (const PKCS7Holder& message : other.m_messages) m_messages.push_back(DuplicatePKCS7(message.Get()));
    m_extraCertificates = CopyCertificateStack(other.m_extraCertificates.Get());
    for (const X509StackHolder& stack : other.m_mergedCertificates)
        m_mergedCertificates.push_back(CopyCertificateStack(stack.Get()));
    for (const SignerMatch& match : other.m_matches) {
        SignerMatch copy;
        if (FindCopiedMatch(other, match, copy)) m_matches.push_back(copy);
    }
    for (const X509StackHolder& chain : other.m_chains) m_chains.push_back(CopyCertificateStack(chain.Get()));
}

// Every list of the copy keeps the source's order, so an element at index i of a source list
// corresponds to the element at index i of the copy's. A match's candidates may be a message's own
// certificates, the extra certificates or a merged stack; all three have their counterpart, and the
// certificate is taken at the same position of it (a duplicated message holds certificates of its
// own, the copied stacks share the source's).
bool SignatureVerification::FindCopiedMatch(const SignatureVerification& source, const SignerMatch& match,
                                            SignerMatch& copy) const {
    for (std::size_t i = 0; i < source.m_messages.size(); ++i) {
        int signerPosition = PositionIn(SignerInfos(source.m_messages[i].Get()), match.signerInfo);
        if (signerPosition < 0) continue;
        copy.signerInfo = sk_PKCS7_SIGNER_INFO_value(SignerInfos(m_messages[i].Get()), signerPosition);
        if (match.candidates == OwnCertificates(source.m_messages[i].Get())) {
            copy.candidates = OwnCertificates(m_messages[i].Get());
        } else if (match.candidates == source.m_extraCertificates.Get()) {
            copy.candidates = m_extraCertificates.Get();
        } else {
            copy.candidates = nullptr;
            for (std::size_t m = 0; m < source.m_mergedCertificates.size(); ++m)
                if (match.candidates == source.m_mergedCertificates[m].Get()) copy.candidates = m_mergedCertificates[m].Get();
        }
        int certificatePosition = PositionIn(match.candidates, match.certificate);
        if (!copy.candidates || certificatePosition < 0) return false;
        copy.certificate = sk_X509_value(copy.candidates, certificatePosition);
        return copy.signerInfo && copy.certificate;
    }
    return false;
}

void SignatureVerification::Clear() {
    m_chains.clear();
    m_matches.clear();
    m_mergedCertificates.clear();
    m_messages.clear();
}

void SignatureVerification::AddMessage(PKCS7Holder message) {
    if (!IsDetachedSignedData(message.Get())) return;
    X509StackHolder certificates = CopyCertificateStack(OwnCertificates(message.Get()));
    PushAllX509(certificates.Get(), m_extraCertificates.Get());
    AddSignedDataCRLs(message.Get(), certificates.Get(), GetRevocationStore());
    m_messages.push_back(std::move(message));
}

void SignatureVerification::SetExtraCertificates(X509StackHolder certificates) {
    m_extraCertificates = std::move(certificates);
}

STACK_OF(X509)* SignatureVerification::MessageCertificates(PKCS7* message) {
    if (!message) return nullptr;
    STACK_OF(X509)* own = OwnCertificates(message);
    if (!own) return m_extraCertificates.Get();
    if (!m_extraCertificates) return own;
    m_mergedCertificates.push_back(MergeCertificateStacks(own, m_extraCertificates.Get()));
    return m_mergedCertificates.back().Get();
}

void SignatureVerification::MatchSigners(DualHashReceiver& digests) {
    // Chains belong to the matches they were verified for; new matches start without any.
    m_chains.clear();
    m_matches.clear();
    for (const PKCS7Holder& message : m_messages) MatchMessageSigners(message.Get(), digests);
}

void SignatureVerification::MatchMessageSigners(PKCS7* message, DualHashReceiver& digests) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = SignerInfos(message);
    if (!signers) return;
    for (int s = 0; s < sk_PKCS7_SIGNER_INFO_num(signers); ++s) {
        PKCS7_SIGNER_INFO* signerInfo = sk_PKCS7_SIGNER_INFO_value(signers, s);
        if (!signerInfo) continue;
        STACK_OF(X509)* candidates = MessageCertificates(message);
        for (int c = 0; c < sk_X509_num(candidates); ++c) {
            X509* certificate = sk_X509_value(candidates, c);
            if (IssuerAndSerialMatches(signerInfo, certificate))
                VerifySignerWithCertificate(message, signerInfo, certificate, candidates, digests);
        }
    }
}

void SignatureVerification::VerifySignerWithCertificate(PKCS7* message, PKCS7_SIGNER_INFO* signerInfo,
                                                        X509* certificate, STACK_OF(X509)* candidates,
                                                        DualHashReceiver& digests) {
    if (!SignerInfos(message) || !signerInfo || !certificate) return;
    OpenSSLHash* digest = SelectDigest(digests, signerInfo);
    if (!digest || !digest->GetBIO()) return;
    try {
        PKCS7SignatureVerify(digest->GetBIO(), message, signerInfo, certificate);
        m_matches.push_back(SignerMatch{certificate, candidates, signerInfo});
    } catch (...) {
        KeepCurrentFailure();
    }
}

void SignatureVerification::Authorize(SignatureAcceptancePolicy& policy) {
    m_chains.clear();
    auto* pkcs7Policy = dynamic_cast<PKCS7SignaturePolicy*>(&policy);
    if (!pkcs7Policy) return;
    for (const SignerMatch& match : m_matches) {
        try {
            m_chains.push_back(pkcs7Policy->VerifySigner(match));
        } catch (...) {
            KeepCurrentFailure();
        }
    }
}

std::size_t SignatureVerification::Result() {
    if (!m_matches.empty() && !m_chains.empty()) return m_matches.size();
    if (m_lastFailure) throw NoAuthorizedSignature(std::move(m_lastFailure));
    if (!m_matches.empty()) throw NoAuthorizedSignature();
    throw NoVerifiedSignature();
}

void SignatureVerification::KeepCurrentFailure() { m_lastFailure = CaptureCurrentException(); }
