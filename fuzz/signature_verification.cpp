// A detached PKCS#7 signature over hostile bytes, through the whole signed-content check: the
// record keeps or frees the message, merges its CRLs, matches its signers against a fixed content's
// MD5 and SHA-1 digests, reads their signed attributes, authorises them under a policy that trusts
// this target's own certificate, reports the outcome and copies itself. It must never crash, leak or
// read beyond what the library decoded; every refusal is one of the documented exceptions. The seeds
// are `openssl smime -sign` signatures of "fuzz content\r\n" by the certificate below.

#include <openssl/pem.h>

#include <cstdint>
#include <cstdlib>

#include "crypto/certificate_fields.h"
#include "crypto/openssl_hash.h"
#include "crypto/openssl_startup.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_attributes.h"

namespace {

// A throw-away key's self-signed certificate, made for this target only ("Type:Operator").
constexpr char kCertificate[] = R"(-----BEGIN CERTIFICATE-----
MIICSjCCAbOgAwIBAgIUHRyJ6N562XHjCPGbhy+UxmcSea0wDQYJKoZIhvcNAQEL
BQAwLjEUMBIGA1UEAwwLZnV6eiBzaWduZXIxFjAUBgNVBCkMDVR5cGU6T3BlcmF0
b3IwIBcNMjYxMjExMDI1NzQ4WhgPMjEyNjExMTcwMjU3NDhaMC4xFDASBgNVBAMM
C2Z1enogc2lnbmVyMRYwFAYDVQQpDA1UeXBlOk9wZXJhdG9yMIGfMA0GCSqGSIb3
DQEBAQUAA4GNADCBiQKBgQCTkGGR+LulUByCq+y0DYrNSinikSQxgQ6bx/sTkstF
GYU9mJSP3074RSrs8Gl+htiNwZ+W8kZvKYMvOqlcFtpQM705d+Alj3w5Egtl2MS9
ajCFZjjdhS+qMNnRz2BM1+vqLKgOYmvcHO3H60hMZbqTyOipMXKkLK9Itx+vNu9+
BQIDAQABo2MwYTAdBgNVHQ4EFgQUhlhsMSifBCDM6QVY9I9fcowzv34wHwYDVR0j
BBgwFoAUhlhsMSifBCDM6QVY9I9fcowzv34wDwYDVR0TAQH/BAUwAwEB/zAOBgNV
HQ8BAf8EBAMCAoQwDQYJKoZIhvcNAQELBQADgYEAA/y6n/O6ak9hFDLYUuR1hdET
/XjkaNme1hUSswbSxs44QZNkASWfHVNvLBXKSUr4sbN69q6jU70tw1wbHTXpEkEe
Eqs5IXC72Ysomf+WhnvYxORY6X5IC+fdx7+wxIRFh/Xq6ljN4WYOzllmp5MfSzuQ
M+BAhkPv4y1IUtYSCn4=
-----END CERTIFICATE-----
)";

constexpr char kContent[] = "fuzz content\r\n";

class TrustingPolicy : public PKCS7SignaturePolicy {
  public:
    TrustingPolicy() {
        BIO* text = BIO_new_mem_buf(kCertificate, -1);
        X509* certificate = PEM_read_bio_X509(text, nullptr, nullptr, nullptr);
        BIO_free(text);
        if (!certificate) std::abort();
        AddTrustedCertificate(certificate);
        X509_free(certificate);
        AcceptValidityErrors();
    }

  protected:
    void PrepareVerification(PKCS7_SIGNER_INFO* signerInfo) override {
        IsActionAuthorized(signerInfo, true);
        CheckIntendedSite(signerInfo, "fuzzsite", false);
    }
    void AuthorizeChain(const ChainAuthorization& authorization) override {
        IsAdministratorOrUntyped(sk_X509_value(authorization.chain, 0));
        ChainSiteCertificate(authorization.chain);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool started = (InitializeOpenSSL(false), true);
    (void)started;
    const unsigned char* cursor = data;
    PKCS7Holder message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(size)));
    SignatureVerification record;
    try {
        record.AddMessage(std::move(message));
    } catch (const std::exception&) {
        return 0;  // a CRL the store refused: the message is freed
    }
    DualHashReceiver digests;
    DataReceiver& receiver = digests.SelectDigests(DualHashReceiver::kFirstDigest | DualHashReceiver::kContentDigest);
    receiver.Begin();
    receiver.Receive(ConstData(std::string_view(kContent)));
    receiver.End();
    record.MatchSigners(digests);
    TrustingPolicy policy;
    record.Authorize(policy);
    SignatureVerification copy(record);
    try {
        record.Result();
    } catch (const NoAuthorizedSignature& refusal) {
        refusal.what();
    }
    copy.Authorize(policy);
    return 0;
}
