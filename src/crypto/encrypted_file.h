// The encrypted stream "##SE001": content encrypted for the holders of encryption certificates, written
// and read in one pass whatever its size.
//
// Layout (multi-byte values DER as OpenSSL encodes them; "indefinite" is the BER form 80 closed by 00 00):
//   23 23 53 45 30 30 31 00          magic: "##SE001" and a zero byte
//   30 80                            ContentInfo
//     06 .. 1.2.840.113549.1.7.3      enveloped data
//     A0 80 30 80                     [0] EnvelopedData
//       02 ..                         version
//       31 ..                         recipient records (issuer and serial, key algorithm, encrypted key)
//       30 80                         EncryptedContentInfo
//         06 ..                       inner content type (data)
//         30 ..                       content cipher and its initialisation vector
//         A0 80 (04 len bytes)* 00 00 ciphertext in OCTET STRING chunks of 1024 bytes, the last shorter
//   00 00 00 00 00 00 00 00          ends of EncryptedContentInfo, EnvelopedData, [0], ContentInfo
// Without its magic a stream is what `openssl cms -encrypt -binary -stream -outform DER` writes.
//
// EncryptedFileWriter is a pipeline stage: plain bytes in, the stream out to its output receiver. Each
// Begin makes a new envelope with a new content key. EncryptedFileReader yields the plain content of
// a stream after ReadEncryptedFileHeader has set it up with the loaded keys. Both belong to one thread;
// neither owns its source or output.
#pragma once

#include <openssl/evp.h>

#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "crypto/asn1_indefinite_string.h"
#include "crypto/auto_openssl_object.h"
#include "crypto/private_keys.h"
#include "foundation/data_stages.h"

// None of the loaded keys belongs to a recipient of the stream.
class NoMatchingRecipient : public DebuggableException, public NonDumpableException {};

// Writes the envelope around what it receives into the next receiver, calling its Begin and End.
class PKCS7Encryptor : public DataReceiver, public DataWriter {
  public:
    PKCS7Encryptor() : m_encoder(m_forward) {}
    PKCS7Encryptor(const PKCS7Encryptor&) = delete;
    PKCS7Encryptor& operator=(const PKCS7Encryptor&) = delete;

    // The recipients (not owned; must outlive the encryptor's messages) and the content cipher.
    void Bind(DataReceiver& next, STACK_OF(X509)* recipients, const EVP_CIPHER* cipher);

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    DataReceiver* m_next = nullptr;
    STACK_OF(X509)* m_recipients = nullptr;
    const EVP_CIPHER* m_cipher = nullptr;
    PKCS7Holder m_envelope;
    DataAppender m_forward;  // the encoder's output into m_next
    ASN1IndefiniteStringEncoder m_encoder;
    BIOChainHolder m_chain;
};

class EncryptedFileWriter : public DataReceiver, public DataWriter {
  public:
    EncryptedFileWriter() = default;

    // Must precede Begin. The output must outlive the writer's messages.
    void SetRecipient(DataReceiver& output, X509* certificate, const EVP_CIPHER* cipher);

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    X509StackHolder m_recipients;
    PKCS7Encryptor m_encryptor;
    DataAppender m_appender;
    DataReceiver* m_output = nullptr;
};

// Before ReadEncryptedFileHeader the reader is at its end. A wrong key or damaged, truncated or
// badly closed ciphertext fails a read (BIOReadFailed, FormatError, NoMoreData) rather than ending
// quietly.
class EncryptedFileReader : public DataReader {
  public:
    EncryptedFileReader() = default;

    bool AtEnd() override;
    void ReadSome(OutputRange& range) override;

  private:
    friend void ReadEncryptedFileHeader(EncryptedFileReader& reader,
                                        const std::vector<CertificateAndKey>& keys, DataReader& source);
    // After the chain's last byte: the cipher's final block checked, the closing pairs read.
    void Finish(int lastReadResult);

    DataReader* m_source = nullptr;
    ASN1IndefiniteStringDecoder m_decoder;
    BIOChainHolder m_chain;
    Byte m_pushedBack = 0;
    bool m_hasPushedBack = false;
    bool m_finished = true;
};

// Reads the stream up to its ciphertext and sets the reader up to decrypt it with the first loaded
// key whose certificate is a recipient's (recipients in stream order, keys in list order). Throws
// FormatError for a wrong magic or structure (an element identifier too long to read included),
// ASN1Decode_Failed for malformed values, NoMoreData for a stream that ends early,
// NoMatchingRecipient when no key fits.
void ReadEncryptedFileHeader(EncryptedFileReader& reader, const std::vector<CertificateAndKey>& keys,
                             DataReader& source);
