#include "formats/multipart_splitter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "formats/chunked_input_support.h"
#include "formats/content_type.h"
#include "formats/message_maker.h"
#include "foundation/line_maker.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"

namespace {

// Records the calls as words, adjacent text pieces joined: "Begin(7) 'one' EndLine(10,12) 'two' End(15)".
class PartRecorder : public LineReceiver {
  public:
    void Begin(std::uint64_t start) override { Add("Begin(" + std::to_string(start) + ")"); }
    void ReceiveText(const Byte* begin, const Byte* end) override {
        std::string text(begin, end);
        if (m_lastWasText)
            m_calls.back().insert(m_calls.back().size() - 1, text);
        else
            m_calls.push_back("'" + text + "'");
        m_lastWasText = true;
    }
    void EndLine(std::uint64_t start, std::uint64_t end) override {
        Add("EndLine(" + std::to_string(start) + "," + std::to_string(end) + ")");
    }
    void End(std::uint64_t total) override { Add("End(" + std::to_string(total) + ")"); }

    std::string Calls() const {
        std::string calls;
        for (const std::string& call : m_calls) calls += (calls.empty() ? "" : " ") + call;
        return calls;
    }

  private:
    void Add(std::string call) {
        m_calls.push_back(std::move(call));
        m_lastWasText = false;
    }

    std::vector<std::string> m_calls;
    bool m_lastWasText = false;
};

ChunkedOutcome<char> Split(const std::string& body, const std::string& boundary,
                           const std::vector<std::size_t>& cutting) {
    PartRecorder parts;
    MultipartSplitter splitter(parts, ConstData(boundary));
    LineMaker lines(splitter);
    lines.Begin();
    std::size_t from = 0;
    for (std::size_t end : cutting) {
        lines.Write(ConstData(body.data() + from, end - from));
        from = end;
    }
    lines.End();
    ChunkedOutcome<char> outcome;
    std::string calls = parts.Calls();
    outcome.output.assign(calls.begin(), calls.end());
    return outcome;
}

std::string SplitAllWays(const std::string& body, const std::string& boundary = "abc") {
    auto outcome = ExpectSameOutcomeForAllCuttings<char>(
        body.size(), [&](const std::vector<std::size_t>& cutting) { return Split(body, boundary, cutting); });
    return std::string(outcome.output.begin(), outcome.output.end());
}

}  // namespace

TEST(MultipartSplitter, DeliversEachPartAsItsOwnSequenceOfLines) {
    const std::string boundary77(77, 'b');
    const std::pair<std::string, std::string> bodies[] = {
        // Preamble, two parts, epilogue; the line end before each boundary belongs to the boundary.
        {"preamble\r\n--abc\r\nPart one\r\n--abc\r\nPart two\r\nline\r\n--abc--\r\nepilogue\r\n",
         "Begin(17) 'Part one' End(25) Begin(34) 'Part two' EndLine(42,44) 'line' End(48)"},
        // No closing delimiter: the last part ends at End, a final line end dropped.
        {"--abc\r\na\r\nb", "Begin(7) 'a' EndLine(8,10) 'b' End(11)"},
        {"--abc\r\na\r\n", "Begin(7) 'a' End(10)"},
        // Lines that only start like the boundary are delivered whole.
        {"--abc\r\n--ab\r\n--abx\r\n-\r\n--abc--",
         "Begin(7) '--ab' EndLine(11,13) '--abx' EndLine(18,20) '-' End(21)"},
        // Text after the boundary on a boundary line is dropped.
        {"--abc  \r\none\r\n--abc-- trailing\r\nepilogue", "Begin(9) 'one' End(12)"},
        {"--abcd\r\nx\r\n--abc--", "Begin(8) 'x' End(9)"},
        {"--abc-\r\nx\r\n--abc--", "Begin(8) 'x' End(9)"},
        // Empty parts and empty lines.
        {"--abc\r\n--abc\r\nx\r\n--abc--", "Begin(7) End(7) Begin(14) 'x' End(15)"},
        {"--abc\r\n\r\nbody\r\n\r\n--abc--", "Begin(7) EndLine(7,9) 'body' EndLine(13,15) End(15)"},
        // Other line ends, and a closing delimiter without a line end.
        {"--abc\nA\n--abc--\n", "Begin(6) 'A' End(7)"},
        {"--abc\r\nx\r\n--abc--", "Begin(7) 'x' End(8)"},
        // Nothing but preamble.
        {"no boundary here\r\n--ab", ""},
        {"", ""},
        // A boundary of 77 bytes keeps one byte of the closing "--" and still works.
        {"--" + boundary77 + "\r\nx\r\n--" + boundary77 + "--\r\n", "Begin(81) 'x' End(82)"},
    };
    for (const auto& [body, parts] : bodies) {
        std::string boundary = body.find(boundary77) == std::string::npos ? "abc" : boundary77;
        EXPECT_EQ(SplitAllWays(body, boundary), parts) << body;
    }
}

TEST(SignatureRemover, PassesOnTheFirstPartOnly) {
    PartRecorder first;
    SignatureRemover remover(first);
    MultipartSplitter splitter(remover, ConstData(std::string_view("abc")));
    LineMaker lines(splitter);
    ReceiveComplete(lines,
                    ConstData(std::string_view("--abc\r\nsigned\r\n--abc\r\nsignature\r\n--abc--\r\n")));
    EXPECT_EQ(first.Calls(), "Begin(7) 'signed' End(13)");
}

namespace {

// Collects each part as the bytes of the message it covers, rebuilt from the text and the line ends
// delivered, and checks them against the part's offsets.
class PartCollector : public LineReceiver {
  public:
    explicit PartCollector(const std::string& message) : m_message(message) {}

    void Begin(std::uint64_t start) override {
        parts.emplace_back();
        m_partStart = start;
    }
    void ReceiveText(const Byte* begin, const Byte* end) override { parts.back().append(begin, end); }
    void EndLine(std::uint64_t start, std::uint64_t end) override {
        parts.back() += m_message.substr(start, end - start);
    }
    void End(std::uint64_t total) override {
        EXPECT_EQ(parts.back(), m_message.substr(m_partStart, total - m_partStart)) << "offsets";
    }

    std::vector<std::string> parts;

  private:
    const std::string& m_message;
    std::uint64_t m_partStart = 0;
};

// Splits a message at the boundary its own Content-Type names.
class SignedMessageReader : public MessageReceiver {
  public:
    explicit SignedMessageReader(LineReceiver& parts) : m_parts(parts) {}

    void Begin(std::uint64_t) override {}
    DataReceiver& Header(std::uint64_t, ConstData name) override {
        if (name.View() != "content-type") return IgnoreDataReceiver::Instance();
        m_fields.SetTarget(contentType);
        return m_fields;
    }
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t) override {
        m_splitter.SetBoundary(m_parts, contentType.Boundary());
        return m_splitter;
    }
    void End(std::uint64_t) override {}

    ContentTypeReceiver contentType;

  private:
    LineReceiver& m_parts;
    StructuredFieldMaker m_fields;
    MultipartSplitter m_splitter;
};

}  // namespace

TEST(MultipartSplitter, SplitsSignedMessagesMadeByPythonsEmailPackage) {
    TemporaryFolder folder;
    std::string command =
        "python3 '" KVR_SOURCE_DIR "/tests/formats/data/multipart/make_signed.py' '" + folder.Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (int n = 0; n < 4; ++n) {
        std::string name = folder / std::to_string(n);
        std::string message = ReadFileText(FileLocation((name + ".eml").c_str()));
        for (bool firstPartOnly : {false, true}) {
            PartCollector collector(message);
            SignatureRemover remover(collector);
            SignedMessageReader reader(firstPartOnly ? static_cast<LineReceiver&>(remover) : collector);
            MessageMaker maker(reader);
            LineMaker lines(maker);
            ReceiveComplete(lines, ConstData(message));
            EXPECT_EQ(reader.contentType.Subtype(), ContentTypeCode::kMultipartSigned);
            EXPECT_EQ(reader.contentType.Protocol().View(), "application/x-pkcs7-signature");
            EXPECT_EQ(reader.contentType.HashAlgorithms(), HashAlgorithmBits::kSHA1);
            EXPECT_EQ(reader.contentType.Boundary().View(),
                      ReadFileText(FileLocation((name + ".boundary").c_str())));
            std::vector<std::string> expected = {ReadFileText(FileLocation((name + ".part0").c_str()))};
            if (!firstPartOnly) expected.push_back(ReadFileText(FileLocation((name + ".part1").c_str())));
            EXPECT_EQ(collector.parts, expected) << "message " << n;
        }
    }
}
