#include "crypto/signature_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/multipart_splitter.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "support/pipeline_recorders.h"

namespace {

// RecordingLineReceiver with the pieces of a line's text joined, so that the calls do not depend on
// how the input was cut.
class JoiningLineRecorder : public RecordingLineReceiver {
  public:
    void ReceiveText(const Byte* begin, const Byte* end) override {
        if (!calls.empty() && calls.back().starts_with("Text(")) {
            calls.back().insert(calls.back().size() - 1, std::string(begin, end));
            return;
        }
        RecordingLineReceiver::ReceiveText(begin, end);
    }
};

// What a multipart body gives the three targets of a SignatureSplitter behind a MultipartSplitter
// with the boundary "b".
struct Split {
    std::vector<std::string> content;
    std::string digested;
    std::vector<std::string> signaturePath;
};

Split SplitBody(const std::string& body, std::size_t chunk) {
    Split split;
    JoiningLineRecorder content;
    StringReceiver digests(split.digested);
    JoiningLineRecorder signaturePath;
    SignatureSplitter splitter;
    splitter.Bind(content, digests, signaturePath);
    MultipartSplitter parts(splitter, ConstData(std::string_view("b")));
    LineMaker lines(parts);
    lines.Begin();
    for (std::size_t at = 0; at < body.size(); at += chunk)
        lines.Write(ConstData(std::string_view(body).substr(at, chunk)));
    lines.End();
    split.content = content.calls;
    split.signaturePath = signaturePath.calls;
    return split;
}

}  // namespace

// The digests see the content as the signer hashed it: every line end CR LF, none before the
// boundary line that ends the part.
TEST(SignatureSplitter, DigestsTheContentWithCanonicalLineEnds) {
    const std::pair<std::string, std::string> bodies[] = {
        {"--b\r\none\r\ntwo\r\n--b\r\nsig\r\n--b--\r\n", "one\r\ntwo"},
        {"--b\none\ntwo\n--b\nsig\n--b--\n", "one\r\ntwo"},
        {"--b\rone\n\rtwo\r--b\rsig\r--b--", "one\r\ntwo"},
        // A part that ends with an empty line keeps that one line end.
        {"--b\none\n\n--b\nsig\n--b--\n", "one\r\n"},
        {"--b\r\n\r\n\r\n--b\r\nsig\r\n--b--\r\n", "\r\n"},
        // A boundary line with text after it, and lines that only start like the boundary.
        {"preamble\n--b trailing\n--c\n-- b\n--b\nsig\n--b--\n", "--c\r\n-- b"},
        // No closing boundary: the last part ends with the input.
        {"--b\none\n", "one"},
    };
    for (const auto& [body, canonical] : bodies) {
        const Split whole = SplitBody(body, body.size() + 1);
        EXPECT_EQ(whole.digested, canonical) << body;
        const Split byBytes = SplitBody(body, 1);
        EXPECT_EQ(byBytes.digested, canonical) << body << " byte by byte";
        EXPECT_EQ(byBytes.content, whole.content) << body;
    }
}

TEST(SignatureSplitter, PassesTheContentOnUnchangedAndEveryLaterPartToTheSignaturePath) {
    const std::string body =
        "--b\nline\n\n--b\nContent-Type: application/pkcs7-signature\n\nAAAA\n--b\nthird\n--b--\nepilogue\n";
    const Split split = SplitBody(body, body.size());
    EXPECT_EQ(split.content, (std::vector<std::string>{"Begin(4)", "Text(line)", "EndLine(8,9)", "End(9)"}));
    EXPECT_EQ(split.digested, "line\r\n");
    EXPECT_EQ(split.signaturePath,
              (std::vector<std::string>{"Begin(14)", "Text(Content-Type: application/pkcs7-signature)",
                                        "EndLine(55,56)", "EndLine(56,57)", "Text(AAAA)", "End(61)",
                                        "Begin(66)", "Text(third)", "End(71)"}));
}
