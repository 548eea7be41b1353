#include "crypto/multipart_signed_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/signature_verification.h"
#include "formats/message_maker.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "support/pipeline_recorders.h"

namespace {

// Records the receiver's calls and the lines of each part, in order.
class RecordingSignedReceiver : public MultipartSignedReceiver {
  public:
    void Begin() override { calls.push_back("Begin"); }
    LineReceiver& ContentReceiver(std::uint32_t hashAlgorithms) override {
        calls.push_back("Content(" + std::to_string(hashAlgorithms) + ")");
        return m_lines;
    }
    LineReceiver& SignatureReceiver() override {
        calls.push_back("Signature");
        return m_lines;
    }
    void End() override { calls.push_back("End"); }

    const std::vector<std::string>& Lines() const { return m_lines.calls; }

    std::vector<std::string> calls;

  private:
    RecordingLineReceiver m_lines;
};

void Read(const std::string& message, MultipartSignedReceiver& receiver) {
    MultipartSignedSplitter splitter;
    splitter.Init(receiver);
    MessageMaker messages(splitter);
    LineMaker lines(messages);
    ReceiveComplete(lines, ConstData(std::string_view(message)));
}

const std::string kSignedHeader =
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; micalg=\"md5,sha1\";\n"
    " boundary=\"b\"\n\n";

}  // namespace

TEST(MultipartSignedSplitter, GivesTheFirstPartAsContentAndEveryLaterPartAsSignature) {
    const std::string message =
        kSignedHeader + "preamble\n--b\nsigned\n--b\nsignature\n--b\nthird\n--b--\nepilogue\n";
    RecordingSignedReceiver receiver;
    Read(message, receiver);
    // Content(6): the HashAlgorithmBits of MD5 and SHA-1.
    EXPECT_EQ(receiver.calls,
              (std::vector<std::string>{"Begin", "Content(6)", "Signature", "Signature", "End"}));
    // Each part from its first line to the end of its text; the line end before a boundary is not its own.
    std::vector<std::string> lines;
    for (const std::string text : {"signed", "signature", "third"}) {
        const std::size_t start = message.find("\n" + text + "\n") + 1;
        lines.insert(lines.end(), {"Begin(" + std::to_string(start) + ")", "Text(" + text + ")",
                                   "End(" + std::to_string(start + text.size()) + ")"});
    }
    EXPECT_EQ(receiver.Lines(), lines);
}

TEST(MultipartSignedSplitter, RefusesAnyOtherContentType) {
    for (const std::string contentType : {"multipart/mixed; boundary=b", "text/plain", ""}) {
        SCOPED_TRACE(contentType);
        RecordingSignedReceiver receiver;
        const std::string header = contentType.empty() ? "" : "Content-Type: " + contentType + "\n";
        EXPECT_THROW(Read(header + "\n--b\nsigned\n--b\nsignature\n--b--\n", receiver), NotASignedMessage);
        EXPECT_TRUE(receiver.calls.empty());
    }
}

TEST(MultipartSignedSignatureIgnorer, KeepsTheContentOnly) {
    std::string content;
    StringReceiver contentText(content);
    LineFlattener contentLines(contentText, ConstData(std::string_view("|")));
    MultipartSignedSignatureIgnorer ignorer;
    ignorer.Init(contentLines);
    Read(kSignedHeader + "--b\none\ntwo\n\n--b\nsignature\n--b--\n", ignorer);
    EXPECT_EQ(content, "one|two|");
}
