// Hostile signed messages through the signed-message reader and the verification it feeds: the
// Content-Type and its "micalg", the boundary lines, the signature parts' headers, transfer encodings
// and DER. It must never crash, must keep the content receiver's calls in order, must refuse only with
// its documented errors, and must reach the same outcome whether the message arrives whole or in
// chunks. Input: the first byte sets the chunk size, the rest is the message. The seeds are signed
// (`openssl smime -sign`) by the throw-away certificate below, which the policy here trusts, so that
// they reach matching and the policy.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "crypto/bio_wrappers.h"
#include "crypto/certificates.h"
#include "crypto/openssl_error.h"
#include "crypto/openssl_startup.h"
#include "crypto/pkcs7_signature_maker.h"
#include "crypto/pkcs7_signature_policy.h"
#include "crypto/revocation_store.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_message_maker.h"
#include "formats/message_maker.h"
#include "foundation/line_maker.h"

namespace {

// A self-signed certificate made for this target only (its key signed the seeds).
constexpr char kSignerCertificate[] = R"(-----BEGIN CERTIFICATE-----
MIIB9zCCAWCgAwIBAgIBATANBgkqhkiG9w0BAQsFADAWMRQwEgYDVQQDDAtmdXp6
IHNpZ25lcjAgFw0yNjEyMTEwMjU4NTRaGA8yMTI2MTExNzAyNTg1NFowFjEUMBIG
A1UEAwwLZnV6eiBzaWduZXIwgZ8wDQYJKoZIhvcNAQEBBQADgY0AMIGJAoGBALxm
S1/+Lba98MpdW3HPEuZ76GQDjZx+upWNWLytjylIKUwNW9otXsXFd6KTNYCv18lv
mae0Zdm6AebaQmGjg6f4+RPy7BP9hElTHOI6E6WVziSifj8dLk4KMfVtc8dbHdqr
YUBGkPz/KHnJjcdCkjhUggpq9jnnS6464glkMIFvAgMBAAGjUzBRMB0GA1UdDgQW
BBQgdfTu0QlJXaJhOVePKClft0LOmDAfBgNVHSMEGDAWgBQgdfTu0QlJXaJhOVeP
KClft0LOmDAPBgNVHRMBAf8EBTADAQH/MA0GCSqGSIb3DQEBCwUAA4GBAEwgRCYj
hgC/NNa6HZFlpr84qPAkgMPRh4xccvm0HT6NJ2pTJNC0f2UPJT0ea4iQZANtQ9gk
qLZGAeiWBLdwikfPjEpnjNKQbboLRrYCbZVOWnovgU3W8tI2MX1VR3DW8dbzNhfn
6wWmLJ59WE/vSwbWY8gK4n9xY/97SUxupQC8
-----END CERTIFICATE-----
)";

void Check(bool condition) {
    if (!condition) std::abort();
}

// Trusts the signer of the seeds and lets every chain that verifies sign.
class SeedSignerPolicy : public PKCS7SignaturePolicy {
  public:
    SeedSignerPolicy() {
        BIOHolder source = NewMemoryBIO(ConstData(std::string_view(kSignerCertificate)));
        AddTrustedCertificate(PEMReadX509(source.Get()).Get());
    }

  protected:
    void AuthorizeChain(const ChainAuthorization&) override {}
};

// Checks that the content arrives as one Begin ... End sequence at most, with offsets that never go
// back, and counts its bytes.
class CheckingContent : public LineReceiver {
  public:
    void Begin(std::uint64_t start) override {
        Check(!m_begun);
        m_begun = true;
        Advance(start);
    }
    void ReceiveText(const Byte* begin, const Byte* end) override {
        Check(m_begun && !m_ended);
        bytes += static_cast<std::size_t>(end - begin);
    }
    void EndLine(std::uint64_t start, std::uint64_t end) override {
        Check(m_begun && !m_ended && start < end);
        Advance(start);
        Advance(end);
        ++bytes;
    }
    void End(std::uint64_t total) override {
        Check(m_begun && !m_ended);
        m_ended = true;
        Advance(total);
    }

    std::size_t bytes = 0;

  private:
    void Advance(std::uint64_t offset) {
        Check(offset >= m_offset);
        m_offset = offset;
    }

    std::uint64_t m_offset = 0;
    bool m_begun = false;
    bool m_ended = false;
};

// The outcome of one reading: the content's size and the number of accepted signers, or the refusal.
std::string Read(ConstData message, std::size_t chunk) {
    GetRevocationStore().Clear();
    CheckingContent content;
    SignatureVerification record;
    SignedMessageMaker maker;
    maker.Init(content, record);
    MessageMaker messages(maker);
    LineMaker lines(messages);
    try {
        lines.Begin();
        for (const Byte* at = message.begin; at < message.end;) {
            const Byte* end = static_cast<std::size_t>(message.end - at) < chunk ? message.end : at + chunk;
            lines.Receive(at, end);
            at = end;
        }
        lines.End();
        SeedSignerPolicy policy;
        record.Authorize(policy);
        return std::to_string(content.bytes) + " " + std::to_string(record.Result());
    } catch (const NoAuthorizedSignature& refusal) {
        return refusal.what();
    } catch (const SignatureTooLarge& refusal) {
        return refusal.what();
    } catch (const DataOverflow& refusal) {  // a "micalg" name longer than any digest name
        return refusal.what();
    } catch (const OpenSSLError& refusal) {
        return refusal.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const bool started = (InitializeOpenSSL(false), true);
    Check(started);
    const std::size_t chunk = data[0] % 64 + 1;
    const ConstData message(data + 1, size - 1);
    Check(Read(message, chunk) == Read(message, message.Length() + 1));
    return 0;
}
