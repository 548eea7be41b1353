// SignatureVerification: the record through which everything the relay accepts as signed is checked
// (site mastheads, signed file lists, other multipart/signed content).
//
// Use, in this order: Clear (when the record is reused); AddMessage for each detached signature;
// feed the signed content through a DualHashReceiver whose digests the signatures name; MatchSigners
// with it; Authorize with the policy for this kind of content; Result, which answers the number of
// matched signers or throws why nothing was accepted. One authorised signer is enough however many
// others failed.
//
// The record owns its messages, the extra certificates, the certificate stacks it merged for
// matching and the verified chains; a match borrows pointers into them. The verified chains stay
// after Result: a masthead's record is what other signers of its site are compared against
// (Chains). Copying gives an independent record with the same messages, matches and chains (the last
// failure is not copied). One thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "crypto/auto_openssl_object.h"
#include "crypto/pkcs7_signature_policy.h"

class DualHashReceiver;

// No signer was accepted. When a step failed, the failure is the cause and the text reads
// "class NoAuthorizedSignature (" + the cause's text + ")", for example
// "class NoAuthorizedSignature (class CertificateRevoked)"; else it is the class name alone. Copies
// share the cause.
class NoAuthorizedSignature : public DebuggableException {
  public:
    NoAuthorizedSignature() : m_detail(std::make_shared<Detail>()) {}
    explicit NoAuthorizedSignature(std::unique_ptr<CaughtException> cause);

    const char* what() const noexcept override;
    // The failure that made the verification refuse, or null; Rethrow throws it with its own type.
    const CaughtException* Cause() const { return m_detail->cause.get(); }

  private:
    struct Detail {
        std::unique_ptr<CaughtException> cause;
        std::string text;  // composed at the first what()
    };
    std::shared_ptr<Detail> m_detail;
};

// No signature of the messages verified with any certificate offered for it.
class NoVerifiedSignature : public NoAuthorizedSignature {
  public:
    using NoAuthorizedSignature::NoAuthorizedSignature;
};

// The content is not a multipart/signed message.
class NotASignedMessage : public NoVerifiedSignature {
  public:
    using NoVerifiedSignature::NoVerifiedSignature;
};

class SignatureVerification {
  public:
    SignatureVerification() = default;
    // A deep copy: messages duplicated, stacks and chains copied, every match pointing into the
    // copy; DuplicatePKCS7Failed, CreateX509StackFailed and PushX509Failed propagate.
    SignatureVerification(const SignatureVerification& other);
    SignatureVerification& operator=(const SignatureVerification&) = delete;

    // Forgets the messages, merged stacks, matches and chains; keeps the extra certificates and the
    // last failure.
    void Clear();

    // Takes the message. Only a detached signed-data signature is kept; anything else (also null) is
    // freed. The CRLs of a kept message go to the process-wide revocation store together with its
    // certificates and the extra certificates. A failure there propagates and frees the message.
    void AddMessage(PKCS7Holder message);
    // Certificates, besides those the messages carry, among which signers and their issuers are
    // looked for; replaces the earlier ones.
    void SetExtraCertificates(X509StackHolder certificates);

    // Matches every signer of every message to each candidate certificate (same issuer and serial
    // number) whose key verifies the signer's signature over the content digest: MD5 signers use the
    // receiver's first digest, SHA-1 signers its content digest, others are never matched. A failed
    // check is kept as the last failure. Forgets earlier matches and chains first.
    void MatchSigners(DualHashReceiver& digests);
    // Forgets the chains, then, for a PKCS7SignaturePolicy, keeps the chain it verifies and
    // authorises for each match; each refusal replaces the last failure. Any other policy accepts
    // nothing.
    void Authorize(SignatureAcceptancePolicy& policy);
    // The number of matches when a chain was accepted. Else throws NoAuthorizedSignature with the
    // last failure as its cause (which it takes out of the record), NoAuthorizedSignature without a
    // cause when signers matched, NoVerifiedSignature when none did.
    std::size_t Result();

    // The candidate certificates of a message's signers: its own, the extra certificates, or a new
    // merged stack of both (its own first) that the record keeps until Clear. Null for a null
    // message or when there are none. WrongPKCS7Type for a message that is not signed data.
    STACK_OF(X509)* MessageCertificates(PKCS7* message);

    const std::vector<PKCS7Holder>& Messages() const { return m_messages; }
    const std::vector<SignerMatch>& Matches() const { return m_matches; }
    // The accepted chains, each from the signer's certificate up to the root.
    const std::vector<X509StackHolder>& Chains() const { return m_chains; }
    STACK_OF(X509)* ExtraCertificates() const { return m_extraCertificates.Get(); }
    const CaughtException* LastFailure() const { return m_lastFailure.get(); }

  private:
    void MatchMessageSigners(PKCS7* message, DualHashReceiver& digests);
    void VerifySignerWithCertificate(PKCS7* message, PKCS7_SIGNER_INFO* signerInfo, X509* certificate,
                                     STACK_OF(X509)* candidates, DualHashReceiver& digests);
    void KeepCurrentFailure();
    // The copy's counterpart of a match of the source, or false when it has none.
    bool FindCopiedMatch(const SignatureVerification& source, const SignerMatch& match, SignerMatch& copy) const;

    std::vector<PKCS7Holder> m_messages;
    X509StackHolder m_extraCertificates;
    std::vector<X509StackHolder> m_mergedCertificates;
    std::vector<SignerMatch> m_matches;
    std::vector<X509StackHolder> m_chains;
    std::unique_ptr<CaughtException> m_lastFailure;
};
