#include "crypto/encrypted_file.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>

#include "crypto/asn1_elements.h"
#include "crypto/bio_wrappers.h"
#include "crypto/certificate_stacks.h"
#include "crypto/pkcs7_objects.h"

namespace {

constexpr std::array<Byte, 8> kMagic = {'#', '#', 'S', 'E', '0', '0', '1', 0};
constexpr Byte kIndefiniteSequence[] = {0x30, 0x80};
constexpr Byte kIndefiniteExplicitContent[] = {0xA0, 0x80};
// The ends of EncryptedContentInfo, EnvelopedData, the [0] content and ContentInfo.
constexpr Byte kClosingPairs[] = {0, 0, 0, 0, 0, 0, 0, 0};
constexpr int kClosingPairCount = 4;

void Emit(DataReceiver& next, ConstData bytes) {
    next.Receive(bytes.begin, bytes.end);
}

void Emit(DataReceiver& next, const OwnedByteRange& encoded) {
    Emit(next, encoded.Data());
}

// The first record, in stream order, for which a loaded key's certificate has the record's issuer and
// serial number; within a record the keys are tried in list order.
const CertificateAndKey& FindMatchingRecipient(STACK_OF(PKCS7_RECIP_INFO)* recipients,
                                               const std::vector<CertificateAndKey>& keys) {
    for (int i = 0; i < sk_PKCS7_RECIP_INFO_num(recipients); ++i) {
        const PKCS7_ISSUER_AND_SERIAL* wanted = sk_PKCS7_RECIP_INFO_value(recipients, i)->issuer_and_serial;
        for (const CertificateAndKey& pair : keys) {
            X509* certificate = pair.certificate.Get();
            if (X509_NAME_cmp(X509_get_issuer_name(certificate), wanted->issuer) == 0 &&
                ASN1_INTEGER_cmp(X509_get0_serialNumber(certificate), wanted->serial) == 0)
                return pair;
        }
    }
    throw NoMatchingRecipient();
}

// One header element. An identifier that runs past the element reader's buffer (DataOverflow) is no
// element of this format, and is reported as the damaged stream it is.
template <class Decoder>
auto DecodeHeaderElement(Decoder decode, DataReader& source) {
    try {
        return decode(source);
    } catch (const DataOverflow&) {
        throw FormatError();
    }
}

// Replaces an owned pointer of an OpenSSL structure with a decoded value.
template <class T, class Holder>
void Replace(T*& field, Holder decoded, void (*release)(T*)) {
    release(field);
    field = decoded.Release();
}

}  // namespace

void PKCS7Encryptor::Bind(DataReceiver& next, STACK_OF(X509)* recipients, const EVP_CIPHER* cipher) {
    m_next = &next;
    m_recipients = recipients;
    m_cipher = cipher;
    m_forward.SetTarget(next);
}

// The library picks the content key and the initialisation vector and encrypts the key for each
// recipient when the chain is opened, so the header can only be written after that.
void PKCS7Encryptor::Begin() {
    m_envelope = CreatePKCS7();
    PKCS7* envelope = m_envelope.Get();
    PKCS7SetType(envelope, NID_pkcs7_enveloped);
    PKCS7SetCipher(envelope, m_cipher);
    for (int i = 0; i < sk_X509_num(m_recipients); ++i)
        PKCS7AddRecipient(envelope, sk_X509_value(m_recipients, i));
    m_chain.Reset();
    m_chain = PKCS7DataInit(envelope, m_encoder);

    PKCS7_ENVELOPE* enveloped = envelope->d.enveloped;
    m_next->Begin();
    Emit(*m_next, ConstData(kIndefiniteSequence, kIndefiniteSequence + 2));
    Emit(*m_next, EncodeASN1Object(OBJ_nid2obj(NID_pkcs7_enveloped)));
    Emit(*m_next, ConstData(kIndefiniteExplicitContent, kIndefiniteExplicitContent + 2));
    Emit(*m_next, ConstData(kIndefiniteSequence, kIndefiniteSequence + 2));
    Emit(*m_next, EncodeASN1Integer(enveloped->version));
    Emit(*m_next, EncodeRecipientInfoSet(enveloped->recipientinfo));
    Emit(*m_next, ConstData(kIndefiniteSequence, kIndefiniteSequence + 2));
    Emit(*m_next, EncodeASN1Object(enveloped->enc_data->content_type));
    Emit(*m_next, EncodeAlgorithmIdentifier(enveloped->enc_data->algorithm));
    m_encoder.Begin();
}

void PKCS7Encryptor::Receive(const Byte* begin, const Byte* end) {
    BIOWrite(m_chain.Get(), ConstData(begin, end));
}

// The flush pushes the last, padded cipher block out.
void PKCS7Encryptor::End() {
    ClearOpenSSLErrors();
    if (FlushBIO(m_chain.Get()) <= 0) throw FlushBIOFailed();
    m_encoder.End();
    Emit(*m_next, ConstData(kClosingPairs, kClosingPairs + sizeof kClosingPairs));
    m_next->End();
}

void EncryptedFileWriter::SetRecipient(DataReceiver& output, X509* certificate, const EVP_CIPHER* cipher) {
    m_output = &output;
    m_recipients = CreateX509Stack();
    PushX509(m_recipients.Get(), certificate);
    m_appender.SetTarget(output);
    m_encryptor.Bind(m_appender, m_recipients.Get(), cipher);
}

void EncryptedFileWriter::Begin() {
    m_output->Begin();
    m_output->Receive(kMagic.data(), kMagic.data() + kMagic.size());
    m_encryptor.Begin();
}

void EncryptedFileWriter::Receive(const Byte* begin, const Byte* end) {
    m_encryptor.Receive(begin, end);
}

void EncryptedFileWriter::End() {
    m_encryptor.End();
    m_output->End();
}

void ReadEncryptedFileHeader(EncryptedFileReader& reader, const std::vector<CertificateAndKey>& keys,
                             DataReader& source) {
    reader.m_source = &source;
    reader.m_chain.Reset();
    reader.m_hasPushedBack = false;
    reader.m_finished = true;
    std::array<Byte, kMagic.size()> magic;
    source.ReadInto(magic.data(), magic.data() + magic.size());
    if (magic != kMagic) throw FormatError();

    PKCS7Holder envelope = CreatePKCS7();
    ExpectByte(source, 0x30);
    ExpectByte(source, 0x80);
    if (OBJ_obj2nid(DecodeHeaderElement(DecodeASN1ObjectElement, source).Get()) != NID_pkcs7_enveloped)
        throw FormatError();
    for (Byte expected : {0xA0, 0x80, 0x30, 0x80}) ExpectByte(source, expected);

    PKCS7SetType(envelope.Get(), NID_pkcs7_enveloped);
    PKCS7_ENVELOPE* enveloped = envelope.Get()->d.enveloped;
    Replace(enveloped->version, DecodeHeaderElement(DecodeASN1IntegerElement, source), ASN1_INTEGER_free);
    RecipientInfoSetHolder recipients = DecodeHeaderElement(DecodeRecipientInfoSetElement, source);
    sk_PKCS7_RECIP_INFO_pop_free(enveloped->recipientinfo, PKCS7_RECIP_INFO_free);
    enveloped->recipientinfo = recipients.Release();
    ExpectByte(source, 0x30);
    ExpectByte(source, 0x80);
    Replace(enveloped->enc_data->content_type, DecodeHeaderElement(DecodeASN1ObjectElement, source),
            ASN1_OBJECT_free);
    Replace(enveloped->enc_data->algorithm, DecodeHeaderElement(DecodeAlgorithmElement, source), X509_ALGOR_free);

    const CertificateAndKey& chosen = FindMatchingRecipient(enveloped->recipientinfo, keys);
    reader.m_decoder.Start(source);
    reader.m_chain =
        PKCS7DataDecode(envelope.Get(), chosen.key.Get(), reader.m_decoder, chosen.certificate.Get());
    reader.m_finished = false;
}

bool EncryptedFileReader::AtEnd() {
    if (m_finished) return true;
    if (m_hasPushedBack) return false;
    ClearOpenSSLErrors();
    const int result = BIO_read(m_chain.Get(), &m_pushedBack, 1);
    if (result > 0) {
        m_hasPushedBack = true;
        return false;
    }
    Finish(result);
    return true;
}

void EncryptedFileReader::ReadSome(OutputRange& range) {
    if (m_finished || range.IsFull()) return;
    if (m_hasPushedBack) {
        *range.begin++ = m_pushedBack;
        m_hasPushedBack = false;
        if (range.IsFull()) return;
    }
    ClearOpenSSLErrors();
    const int room = static_cast<int>(std::min<std::size_t>(range.Room(), 1 << 30));
    const int result = BIO_read(m_chain.Get(), range.begin, room);
    if (result > 0)
        range.begin += result;
    else
        Finish(result);
}

// The cipher reports a final block that does not decrypt (a wrong key, damaged or cut ciphertext)
// only through its status: the read itself ends as if all were well.
void EncryptedFileReader::Finish(int lastReadResult) {
    if (lastReadResult < 0) throw BIOReadFailed();
    BIO* cipher = BIO_find_type(m_chain.Get(), BIO_TYPE_CIPHER);
    if (cipher == nullptr || BIO_get_cipher_status(cipher) != 1) throw BIOReadFailed();
    for (int i = 0; i < kClosingPairCount; ++i) ExpectEndOfContents(*m_source);
    m_finished = true;
}
