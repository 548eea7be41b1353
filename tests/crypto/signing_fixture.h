// Signed fixtures as OpenSSL objects: the detached signatures of tests/pki/pki-signed.sh, the digests
// of their content, signing in C++ for what the command line cannot make (custom signed attributes,
// CRLs inside a signature, content left inside), and the verified masthead of the fixture site.
#pragma once

#include <openssl/objects.h>
#include <openssl/pkcs7.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypto/certificate_stacks.h"
#include "crypto/openssl_hash.h"
#include "crypto/pkcs7_signature_policy.h"
#include "crypto/signature_verification.h"
#include "pki_fixture.h"

// The signed content of every "signed-*" fixture.
inline std::string FixtureSignedContent() { return ReadTestPKIFile("filelist.txt"); }

// A "signed-*.p7s" fixture, by its name without extension.
inline PKCS7Holder FixtureSignature(const std::string& name) {
    std::string der = ReadTestPKIFile(name + ".p7s");
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    PKCS7Holder message(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
    if (!message) throw std::runtime_error("cannot decode " + name + ".p7s");
    return message;
}

// The digests of the content that the flags select (DualHashReceiver::kFirstDigest, kContentDigest).
inline std::unique_ptr<DualHashReceiver> DigestsOf(const std::string& content,
                                                   std::uint32_t flags = DualHashReceiver::kContentDigest) {
    auto digests = std::make_unique<DualHashReceiver>();
    DataReceiver& receiver = digests->SelectDigests(flags);
    receiver.Begin();
    receiver.Receive(ConstData(std::string_view(content)));
    receiver.End();
    return digests;
}

// A stack of the named fixture certificates, in order.
inline X509StackHolder FixtureCertificateStack(const std::vector<std::string>& names) {
    X509StackHolder stack = CreateX509Stack();
    for (const std::string& name : names) PushX509(stack.Get(), FixtureCertificate(name).Get());
    return stack;
}

// One signed attribute: its NID, its ASN.1 type and its value (for V_ASN1_BOOLEAN, empty is false and
// anything else true; for string types, the bytes).
struct FixtureAttribute {
    int nid;
    int type;
    std::string value;
};

// A detached signature of the content by the certificate and key, carrying the certificates and with
// the extra signed attributes. `detached` false leaves the content inside.
inline PKCS7Holder SignContent(const std::string& content, X509* signer, EVP_PKEY* key, const EVP_MD* digest,
                               STACK_OF(X509)* certificates, const std::vector<FixtureAttribute>& attributes = {},
                               bool detached = true) {
    int flags = PKCS7_PARTIAL | PKCS7_BINARY | (detached ? PKCS7_DETACHED : 0);
    PKCS7Holder message(PKCS7_sign(nullptr, nullptr, certificates, nullptr, flags));
    if (!message) throw std::runtime_error("PKCS7_sign failed");
    PKCS7_SIGNER_INFO* signerInfo = PKCS7_sign_add_signer(message.Get(), signer, key, digest, flags);
    if (!signerInfo) throw std::runtime_error("PKCS7_sign_add_signer failed");
    for (const FixtureAttribute& attribute : attributes) {
        void* value = nullptr;
        if (attribute.type == V_ASN1_BOOLEAN) {
            value = reinterpret_cast<void*>(static_cast<intptr_t>(attribute.value.empty() ? 0 : 0xff));
        } else {
            ASN1_STRING* text = ASN1_STRING_type_new(attribute.type);
            ASN1_STRING_set(text, attribute.value.data(), static_cast<int>(attribute.value.size()));
            value = text;
        }
        if (PKCS7_add_signed_attribute(signerInfo, attribute.nid, attribute.type, value) != 1)
            throw std::runtime_error("PKCS7_add_signed_attribute failed");
    }
    BIOHolder data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    if (PKCS7_final(message.Get(), data.Get(), flags) != 1) throw std::runtime_error("PKCS7_final failed");
    return message;
}

// Signs as a fixture signer does: "opsite" with its key, an operator ("op8-untyped", ...) with the
// operators' common key; SHA-1, carrying the chain up to the registrar.
inline PKCS7Holder SignAsFixture(const std::string& signer, const std::vector<FixtureAttribute>& attributes = {},
                                 const std::string& content = FixtureSignedContent()) {
    bool site = signer == "opsite" || signer == "othersite";
    X509StackHolder chain = FixtureCertificateStack(site ? std::vector<std::string>{"registrar"}
                                                         : std::vector<std::string>{"opsite", "registrar"});
    return SignContent(content, FixtureCertificate(signer).Get(),
                       FixtureKey(site ? signer : "operator-common").Get(), EVP_sha1(), chain.Get(), attributes);
}

// Puts the CRL into the message's CRL list (CRLs are outside what a signature covers).
inline void AddCRLToSignature(PKCS7* message, X509_CRL* crl) {
    if (PKCS7_add_crl(message, crl) != 1) throw std::runtime_error("PKCS7_add_crl failed");
}

// Stands in for the masthead policy: trusts the fixture root and accepts any chain.
class MastheadTestPolicy : public PKCS7SignaturePolicy {
  public:
    MastheadTestPolicy() { AddTrustedCertificate(FixtureCertificate("root").Get()); }

  protected:
    void AuthorizeChain(const ChainAuthorization&) override {}
};

// The site's masthead verification: opsite's own signature, verified and authorised.
inline std::unique_ptr<SignatureVerification> VerifiedMasthead(const std::string& fixture = "signed-site-sha1") {
    auto masthead = std::make_unique<SignatureVerification>();
    masthead->AddMessage(FixtureSignature(fixture));
    masthead->MatchSigners(*DigestsOf(FixtureSignedContent()));
    MastheadTestPolicy policy;
    masthead->Authorize(policy);
    masthead->Result();
    return masthead;
}
