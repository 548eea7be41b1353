// Encrypted streams written and read by us and by the openssl command line (`openssl cms`), with keys
// made by `openssl req`.
#include "crypto/encrypted_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/const_data_reader.h"
#include "crypto/bio_wrappers.h"
#include "crypto/encryption_keys.h"
#include "crypto/openssl_startup.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

namespace {

const std::string kMagic("##SE001\0", 8);

// Three recipients "a", "b", "c": "<name>.key", "<name>.crt" and the key file "<name>.pvk".
class Recipients {
  public:
    Recipients() {
        for (const std::string name : {"a", "b", "c"}) {
            const ProgramRun made =
                RunProgram("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                       m_folder / (name + ".key"), "-out", m_folder / (name + ".crt"),
                                       "-subj", "/CN=" + name, "-days", "2"});
            if (made.exitStatus != 0) throw std::runtime_error(made.err);
            std::ofstream out(m_folder / (name + ".pvk"), std::ios::binary);
            out << std::ifstream(m_folder / (name + ".key")).rdbuf()
                << std::ifstream(m_folder / (name + ".crt")).rdbuf();
        }
    }
    std::string operator/(const std::string& name) const { return m_folder / name; }
    CertificateAndKey Load(const std::string& name) const {
        return LoadCertificateAndKey(FileLocation((m_folder / (name + ".pvk")).c_str()));
    }

  private:
    TemporaryFolder m_folder;
};

std::string Pattern(std::size_t length) {
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 131 % 251 + i / 997);
    return text;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EncryptedFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        recipients = new Recipients;
    }
    static void TearDownTestSuite() { delete recipients; }

    // Our stream of the content for the recipient, written in pieces of 700 bytes.
    static std::string Encrypt(const std::string& content, const std::string& recipient) {
        std::string stream;
        StringReceiver output(stream);
        EncryptedFileWriter writer;
        writer.SetRecipient(output, recipients->Load(recipient).certificate.Get(), EVP_aes_256_cbc());
        writer.Begin();
        for (std::size_t at = 0; at < content.size(); at += 700)
            writer.Receive(ConstData(std::string_view(content).substr(at, 700)));
        writer.End();
        return stream;
    }
    static std::string Decrypt(const std::string& stream, const std::vector<CertificateAndKey>& keys) {
        ConstDataReader source{ConstData(std::string_view(stream))};
        EncryptedFileReader reader;
        ReadEncryptedFileHeader(reader, keys, source);
        std::string content;
        Byte buffer[3000];
        while (!reader.AtEnd()) {
            OutputRange range(buffer, sizeof buffer);
            reader.ReadSome(range);
            content.append(reinterpret_cast<char*>(buffer), range.begin - buffer);
        }
        EXPECT_TRUE(source.AtEnd());
        return content;
    }
    // The matching key second among several.
    static std::vector<CertificateAndKey> KeysFor(const std::string& recipient) {
        std::vector<CertificateAndKey> keys;
        keys.push_back(recipients->Load(recipient == "b" ? "a" : "b"));
        keys.push_back(recipients->Load(recipient));
        keys.push_back(recipients->Load("c"));
        return keys;
    }

    static Recipients* recipients;
    TemporaryFolder scratch;
};

Recipients* EncryptedFiles::recipients = nullptr;

TEST_F(EncryptedFiles, StreamsGoBothWaysBetweenUsAndOpenSSL) {
    for (std::size_t size : {std::size_t(0), std::size_t(1500), std::size_t(1) << 20}) {
        const std::string content = Pattern(size);
        const std::string ours = Encrypt(content, "a");
        ASSERT_EQ(ours.substr(0, 8), kMagic);
        EXPECT_TRUE(Decrypt(ours, KeysFor("a")) == content) << size;

        WriteWhole(scratch / "ours.der", ours.substr(8));
        const ProgramRun decrypted = RunProgram(
            "openssl", {"cms", "-decrypt", "-inform", "DER", "-binary", "-in", scratch / "ours.der", "-inkey",
                        *recipients / "a.key", "-recip", *recipients / "a.crt", "-out", scratch / "plain"});
        ASSERT_EQ(decrypted.exitStatus, 0) << decrypted.err;
        EXPECT_TRUE(ReadWhole(scratch / "plain") == content) << size;

        WriteWhole(scratch / "content", content);
        const ProgramRun encrypted = RunProgram(
            "openssl", {"cms", "-encrypt", "-binary", "-stream", "-outform", "DER", "-aes256", "-in",
                        scratch / "content", "-out", scratch / "theirs.der", *recipients / "b.crt"});
        ASSERT_EQ(encrypted.exitStatus, 0) << encrypted.err;
        EXPECT_TRUE(Decrypt(kMagic + ReadWhole(scratch / "theirs.der"), KeysFor("b")) == content) << size;
    }
}

TEST_F(EncryptedFiles, EmptyContentIsAnEmptyChunkStringAndTheClosingPairs) {
    const std::string stream = Encrypt("", "a");
    EXPECT_EQ(stream.substr(8, 2), std::string("\x30\x80", 2));
    // One padding block of ciphertext, then the end of the string and the four closing pairs.
    EXPECT_EQ(
        stream.substr(stream.size() - 30),
        std::string("\xA0\x80\x04\x10", 4) + stream.substr(stream.size() - 26, 16) + std::string(10, '\0'));
    // Each message has a key of its own.
    EXPECT_NE(Encrypt("", "a"), stream);
}

TEST_F(EncryptedFiles, DamagedStreamsFailInsteadOfEndingQuietly) {
    const std::string content = Pattern(1500);
    const std::string stream = Encrypt(content, "a");
    // 1500 bytes give 1504 of ciphertext in chunks of 1024 and 480, then 00 00 and the closing pairs.
    const std::size_t ciphertextEnd = stream.size() - 10;

    std::string otherMagic = stream;
    otherMagic[7] = 1;
    EXPECT_THROW(Decrypt(otherMagic, KeysFor("a")), FormatError);
    EXPECT_THROW(Decrypt(stream, {recipients->Load("b"), recipients->Load("c")}), NoMatchingRecipient);

    // The last byte of the block before the last turns the padding length into one over 16.
    std::string damagedLastBlock = stream;
    damagedLastBlock[ciphertextEnd - 17] ^= 0xFF;
    EXPECT_THROW(Decrypt(damagedLastBlock, KeysFor("a")), BIOReadFailed);

    for (std::size_t cut : {ciphertextEnd - 100, ciphertextEnd - 16, ciphertextEnd, stream.size() - 4})
        EXPECT_ANY_THROW(Decrypt(stream.substr(0, cut), KeysFor("a"))) << cut;
    std::string badClose = stream;
    badClose[stream.size() - 1] = 1;
    EXPECT_THROW(Decrypt(badClose, KeysFor("a")), FormatError);
}

// The content type's identifier octets claim a high tag number and never end: the element reader's
// buffer fills before the stream does, and the stream is refused as the damaged file it is.
TEST_F(EncryptedFiles, AnIdentifierThatNeverEndsIsAFormatError) {
    const std::string endlessTag = kMagic + "\x30\x80\x1F" + std::string(511, '\x81');
    EXPECT_THROW(Decrypt(endlessTag, KeysFor("a")), FormatError);
}

// A wrong key decrypts the content key to random bytes, whose last block still has valid padding
// once in about 256 streams: of three streams, at most one may pass unnoticed.
TEST_F(EncryptedFiles, AWrongKeyFailsTheRead) {
    CertificateAndKey forged = recipients->Load("a");
    forged.key = std::move(recipients->Load("b").key);
    std::vector<CertificateAndKey> keys;
    keys.push_back(std::move(forged));
    int failures = 0;
    for (int i = 0; i < 3; ++i) {
        try {
            Decrypt(Encrypt(Pattern(1500), "a"), keys);
        } catch (const BIOReadFailed&) {
            ++failures;
        }
    }
    EXPECT_GE(failures, 2);
}

}  // namespace
