#include "crypto/pipeline_bio.h"

#include <gtest/gtest.h>

#include <string>

#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "formats/hex_codec.h"

namespace {

// A reader that counts its ReadSome calls and can be made to fail.
class CountingReader : public DataReader {
  public:
    explicit CountingReader(std::string_view text) : m_inner(ConstData(text)) {}
    bool AtEnd() override { return m_inner.AtEnd(); }
    void ReadSome(OutputRange& range) override {
        ++reads;
        if (fail) throw FormatError();
        m_inner.ReadSome(range);
    }

    int reads = 0;
    bool fail = false;

  private:
    ConstDataReader m_inner;
};

TEST(ReaderBIO, ReadsFromTheReaderAndReadsNothingAtItsEnd) {
    CountingReader reader("content");
    BIOHolder source = NewReaderBIO(reader);
    EXPECT_EQ(BIO_pending(source.Get()), 1);
    char buffer[4];
    OutputRange range(buffer, buffer + sizeof buffer);
    BIORead(source.Get(), range);
    EXPECT_EQ(std::string(buffer, 4), "cont");
    range = OutputRange(buffer, buffer + sizeof buffer);
    BIORead(source.Get(), range);
    EXPECT_EQ(std::string(buffer, reinterpret_cast<char*>(range.begin)), "ent");
    EXPECT_EQ(BIO_eof(source.Get()), 1);

    int readsSoFar = reader.reads;
    EXPECT_EQ(BIO_read(source.Get(), buffer, sizeof buffer), 0);
    EXPECT_EQ(reader.reads, readsSoFar);
    range = OutputRange(buffer, buffer + sizeof buffer);
    EXPECT_THROW(BIORead(source.Get(), range), BIOReadFailed);
}

TEST(ReaderBIO, APipelineExceptionBecomesAFailedRead) {
    CountingReader reader("content");
    reader.fail = true;
    BIOHolder source = NewReaderBIO(reader);
    char buffer[4];
    EXPECT_EQ(BIO_read(source.Get(), buffer, sizeof buffer), -1);
    OutputRange range(buffer, buffer + sizeof buffer);
    EXPECT_THROW(BIORead(source.Get(), range), BIOReadFailed);
}

// Refuses every chunk.
class FailingReceiver : public DataReceiver, public DataWriter {
  public:
    void Begin() override {}
    void Receive(const Byte*, const Byte*) override { throw FormatError(); }
    void End() override {}
};

TEST(ReceiverBIO, PassesWritesAndPutsOn) {
    std::string received;
    StringReceiver receiver(received);
    BIOHolder sink = NewReceiverBIO(receiver);
    BIOWrite(sink.Get(), ConstData(std::string_view("one ")));
    BIOWrite(sink.Get(), ConstData());
    EXPECT_EQ(BIO_puts(sink.Get(), "two"), 3);
    EXPECT_EQ(FlushBIO(sink.Get()), 1);
    EXPECT_EQ(received, "one two");

    FailingReceiver failing;
    BIOHolder failingSink = NewReceiverBIO(failing);
    EXPECT_THROW(BIOWrite(failingSink.Get(), ConstData(std::string_view("x"))), BIOWriteFailed);
    EXPECT_EQ(BIO_puts(failingSink.Get(), "x"), -1);
}

TEST(DigestBIO, DigestsWhatIsWrittenThroughTheChain) {
    EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    BIOChainHolder chain;
    PushBIO(chain, NewDigestBIO(sha1));
    PushBIO(chain, NewBIO(BIO_s_null()));
    BIOWrite(chain.Get(), ConstData(std::string_view("abc")));
    FlushBIO(chain.Get());
    Byte digest[EVP_MAX_MD_SIZE];
    int length = BIO_gets(chain.Get(), reinterpret_cast<char*>(digest), sizeof digest);
    ASSERT_EQ(length, 20);
    EXPECT_EQ(HexEncodeText(ConstData(digest, 20)), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EVP_MD_free(sha1);
}

TEST(MemoryBIO, ReadsTheCallersBytes) {
    std::string text = "memory";
    BIOHolder source = NewMemoryBIO(ConstData(std::string_view(text)));
    char buffer[16];
    OutputRange range(buffer, buffer + sizeof buffer);
    BIORead(source.Get(), range);
    EXPECT_EQ(std::string(buffer, reinterpret_cast<char*>(range.begin)), text);
    EXPECT_THROW(OpenFileBIO(FileLocation("/nonexistent/file")), BIO_read_filenameFailed);
}

}  // namespace
