#include "crypto/own_object_identifiers.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <mutex>
#include <vector>

#include "crypto/own_asn1_types.h"
#include "base/const_data.h"

namespace {

// 1.3.6.1.4.1 and the enterprise number in base 128, three octets.
constexpr Byte kArcPrefix[] = {
    0x2B, 0x06, 0x01, 0x04, 0x01, static_cast<Byte>(0x80 | ((kEnterpriseArc >> 14) & 0x7F)),
    static_cast<Byte>(0x80 | ((kEnterpriseArc >> 7) & 0x7F)), static_cast<Byte>(kEnterpriseArc & 0x7F)};

// One own object: its names, the sub-arc octets below the enterprise arc, and the NID once added.
class OwnObject {
  public:
    OwnObject(const char* shortName, const char* longName, std::initializer_list<Byte> subArc)
        : m_shortName(shortName), m_longName(longName), m_encoding(std::begin(kArcPrefix), std::end(kArcPrefix)) {
        m_encoding.insert(m_encoding.end(), subArc);
    }

    int Nid() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_nid == NID_undef) m_nid = Add();
        return m_nid;
    }

  private:
    int Add() const {
        ASN1_OBJECT* object = ASN1_OBJECT_create(OBJ_new_nid(1), const_cast<Byte*>(m_encoding.data()),
                                                 static_cast<int>(m_encoding.size()), m_shortName, m_longName);
        // The table keeps a copy of the object.
        int nid = object ? OBJ_add_object(object) : NID_undef;
        ASN1_OBJECT_free(object);
        if (nid == NID_undef) throw AddObjectToOpenSSLTablesFailed();
        return nid;
    }

    const char* m_shortName;
    const char* m_longName;
    std::vector<Byte> m_encoding;
    std::mutex m_lock;
    int m_nid = NID_undef;
};


void* NewCertificateStack() { return sk_X509_new_null(); }
void FreeCertificateStackValue(void* value) { FreeCertificateStack(static_cast<STACK_OF(X509)*>(value)); }
void* DecodeCertificateStackValue(void*, const unsigned char** cursor, long length) {
    return DecodeCertificateSet(cursor, length);
}
int EncodeCertificateStackValue(const void* value, unsigned char** out) {
    return EncodeCertificateSet(static_cast<const STACK_OF(X509)*>(value), out);
}

void* NewCRLBody() { return KVR_CRL_BODY_new(); }
void FreeCRLBodyValue(void* value) { KVR_CRL_BODY_free(static_cast<KVR_CRL_BODY*>(value)); }
void* DecodeCRLBodyValue(void*, const unsigned char** cursor, long length) {
    return d2i_KVR_CRL_BODY(nullptr, cursor, length);
}
int EncodeCRLBodyValue(const void* value, unsigned char** out) {
    return i2d_KVR_CRL_BODY(static_cast<const KVR_CRL_BODY*>(value), out);
}

void* NewRoleValue() { return ASN1_OCTET_STRING_new(); }
void FreeRoleValue(void* value) { ASN1_STRING_free(static_cast<ASN1_STRING*>(value)); }
void* DecodeRoleExtensionValue(void*, const unsigned char** cursor, long length) {
    return DecodeRoleValue(cursor, length);
}
int EncodeRoleExtensionValue(const void* value, unsigned char** out) {
    return EncodeRoleValue(static_cast<const ASN1_STRING*>(value), out);
}

// An extension method registered once: the library keeps a pointer to the record, which therefore
// lives as long as the process.
class OwnExtension {
  public:
    OwnExtension(int (*nid)(), X509V3_EXT_NEW create, X509V3_EXT_FREE release, X509V3_EXT_D2I decode,
                 X509V3_EXT_I2D encode)
        : m_nidAccessor(nid) {
        m_method.ext_new = create;
        m_method.ext_free = release;
        m_method.d2i = decode;
        m_method.i2d = encode;
    }

    int Nid() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_added) {
            m_method.ext_nid = m_nidAccessor();
            ClearOpenSSLErrors();
            if (!X509V3_EXT_add(&m_method)) throw RegisterX509ExtensionType_Failed();
            m_added = true;
        }
        return m_method.ext_nid;
    }

  private:
    int (*m_nidAccessor)();
    X509V3_EXT_METHOD m_method{};
    std::mutex m_lock;
    bool m_added = false;
};

}  // namespace

int GetIndirectRevocationListNID() {
    static OwnObject object("kvr indirect revocation list", "KVR Indirect Revocation List", {4});
    return object.Nid();
}

int GetActionAuthorizedNID() {
    static OwnObject object("kvr action authorized", "KVR Action Authorized", {5});
    return object.Nid();
}

int GetRoleNID() {
    static OwnObject object("kvr role", "KVR Role", {6});
    return object.Nid();
}

int GetCRLSupportingCertificatesNID() {
    static OwnObject object("kvr crl supporting certificates", "KVR CRL Supporting Certificates", {7});
    return object.Nid();
}

int GetIntendedSiteNID() {
    static OwnObject object("kvr intended site", "KVR Intended Site", {9});
    return object.Nid();
}

int GetCustomSiteOwnerNID() {
    GetRoleNID();
    static OwnObject object("kvr custom site owner", "KVR Custom Site Owner", {6, 1});
    return object.Nid();
}

int GetCustomSiteUserNID() {
    GetRoleNID();
    static OwnObject object("kvr custom site user", "KVR Custom Site User", {6, 2});
    return object.Nid();
}

int CRLSupportingCertificatesExtension() {
    static OwnExtension extension(GetCRLSupportingCertificatesNID, NewCertificateStack, FreeCertificateStackValue,
                                  DecodeCertificateStackValue, EncodeCertificateStackValue);
    return extension.Nid();
}

int IndirectRevocationExtension() {
    static OwnExtension extension(GetIndirectRevocationListNID, NewCRLBody, FreeCRLBodyValue, DecodeCRLBodyValue,
                                  EncodeCRLBodyValue);
    return extension.Nid();
}

int CustomSiteOwnerExtension() {
    static OwnExtension extension(GetCustomSiteOwnerNID, NewRoleValue, FreeRoleValue, DecodeRoleExtensionValue,
                                  EncodeRoleExtensionValue);
    return extension.Nid();
}

int CustomSiteUserExtension() {
    static OwnExtension extension(GetCustomSiteUserNID, NewRoleValue, FreeRoleValue, DecodeRoleExtensionValue,
                                  EncodeRoleExtensionValue);
    return extension.Nid();
}
