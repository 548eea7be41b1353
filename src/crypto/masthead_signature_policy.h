// Which signer may publish which kind of masthead.
//
// MastheadSignaturePolicy verifies a masthead's signer against the masthead root (loaded from the
// deployment's built-in certificate folder, SetMastheadRootFolder) and authorizes the verified chain
// by the rules of the kinds the reader accepts, in this order; the first that accepts ends the check:
//   consumer (bit 8)     chain of 3 or 4; registrar common name exactly "Site Registration"; the site
//                        certificate's "GatherURL:", "Sitename:" and organization equal the
//                        masthead's GatherURL, SiteName and Organization.
//   daruravidu (bit 1)   chain of exactly 3; registrar common name beginning "DaruraviduSite
//                        Registrar:"; the same three equalities, none of the three empty; the site
//                        certificate's serial number not 0.
//   action (bit 2 or 4)  chain of exactly 3; registrar common name beginning "ActionSite Registrar:";
//                        the site certificate's "Server:" is not empty and equals (ASCII case
//                        ignored) the host of the masthead's GatherURL; its organization is not empty
//                        and its serial number not 0.
// The chain runs from the signer (position 0) to the root; the registrar is the certificate below
// the root, the site certificate the one below that. Comparisons other than the host are byte for
// byte. When no rule accepts: UnacceptableMastheadType.
//
// The policy's store finds issuers across certificate re-issues (reissued_certificates.h) and
// forgives no validity error. A policy serves one verification on one thread; the root is loaded
// once per process and shared read-only.
#pragma once

#include <openssl/x509.h>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "crypto/masthead_header_set.h"
#include "crypto/pkcs7_signature_policy.h"

// The kinds of masthead a reader accepts, a bit set.
namespace MastheadKind {
inline constexpr unsigned kDaruravidu = 1;
inline constexpr unsigned kAction = 2;
inline constexpr unsigned kActionAlso = 4;
inline constexpr unsigned kConsumer = 8;
// What a site look-up accepts: daruravidu and action mastheads.
inline constexpr unsigned kDaruraviduOrAction = kDaruravidu | kAction | kActionAlso;
// What the agent's action-site masthead must be.
inline constexpr unsigned kActionOnly = kAction | kActionAlso;
}  // namespace MastheadKind

class UnacceptableMastheadType : public DebuggableException {};

// The masthead root could not be read from the built-in certificate folder; the text names the file.
class MastheadRootUnavailable : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// The folder of the deployment's built-in certificates, named by the relay's configuration; the
// masthead root is its file "masthead-root.pem" (PEM or DER). Set before the first masthead is read.
void SetMastheadRootFolder(const FileLocation& folder);
// The masthead root, read on first use and kept for the process; MastheadRootUnavailable when the
// folder is unset or the file cannot be read as a certificate (the next call tries again).
X509* MastheadRootCertificate();

// One rule: whether a verified chain may sign the masthead whose header set it holds.
class CertificateChainAuthorizationPolicy {
  public:
    explicit CertificateChainAuthorizationPolicy(const MastheadHeaderSet& headers) : m_headers(headers) {}
    virtual ~CertificateChainAuthorizationPolicy() = default;
    virtual bool IsAuthorized(STACK_OF(X509)* chain) = 0;

  protected:
    const MastheadHeaderSet& m_headers;
};

class ActionMastheadSignaturePolicy : public CertificateChainAuthorizationPolicy {
  public:
    using CertificateChainAuthorizationPolicy::CertificateChainAuthorizationPolicy;
    bool IsAuthorized(STACK_OF(X509)* chain) override;
};

class DaruraviduMastheadSignaturePolicy : public CertificateChainAuthorizationPolicy {
  public:
    using CertificateChainAuthorizationPolicy::CertificateChainAuthorizationPolicy;
    bool IsAuthorized(STACK_OF(X509)* chain) override;
};

class ConsumerMastheadSignaturePolicy : public CertificateChainAuthorizationPolicy {
  public:
    using CertificateChainAuthorizationPolicy::CertificateChainAuthorizationPolicy;
    bool IsAuthorized(STACK_OF(X509)* chain) override;
};

class MastheadSignaturePolicy : public PKCS7SignaturePolicy {
  public:
    MastheadSignaturePolicy() = default;

    // Trusts the masthead root, installs the re-issue-aware issuer look-up, and keeps the header set
    // (not owned; it must outlive the policy's use) and the accepted kinds (MastheadKind bits).
    void Bind(const MastheadHeaderSet& headers, unsigned acceptedKinds);

  protected:
    void AuthorizeChain(const ChainAuthorization& authorization) override;

  private:
    const MastheadHeaderSet* m_headers = nullptr;
    unsigned m_acceptedKinds = 0;
};
