#include "formats/multipart_file_list_maker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/line_maker.h"
#include "support/site_content.h"

namespace {

// What reached the maker's target.
class RecordingList : public FileListReceiver {
  public:
    void Header(const FileListHeader& header) override {
        ++headers;
        version = header.version;
    }
    void Entry(FileListEntry entry) override { names.push_back(entry.name); }
    void End() override { ++ends; }

    std::uint32_t version = 0;
    std::vector<std::string> names;
    int headers = 0;
    int ends = 0;
};

// A list of one file, created at the list's source versions.
std::string ListOfFile(const std::string& name, std::uint32_t version, const std::string& sources = "") {
    FileListOptions options;
    options.version = version;
    options.sourceVersions = sources;
    ListFields entry = EntryFieldsOf({name, "content of " + name, 0}, options.urlBase);
    entry.emplace_back("creation-versions", sources);
    return FileListText(options, {entry});
}

void ReadMessageInto(MultipartFileListMaker& maker, const std::string& text) {
    MessageMaker message(maker);
    LineMaker lines(message);
    ReceiveComplete(lines, ConstData(std::string_view(text)));
}

// Stands in for the signed stage: passes a leaf's body on as the content, and refuses the leaf
// whose content holds the word "forged" when it ends.
class FakeVerifier : public FileListPartVerifier, public MessageReceiver {
  public:
    MessageReceiver& BeginPart(LineReceiver& content) override {
        m_content = &content;
        ++begun;
        return *this;
    }
    void EndPart() override {
        ++ended;
        if (m_forged) throw std::runtime_error("refused");
    }

    void Begin(std::uint64_t) override { m_forged = false; }
    DataReceiver& Header(std::uint64_t, ConstData name) override {
        headers.push_back(std::string(name.View()));
        return IgnoreDataReceiver::Instance();
    }
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t) override { return m_watcher.Watch(*m_content, m_forged); }
    void End(std::uint64_t) override {}

    int begun = 0;
    int ended = 0;
    std::vector<std::string> headers;

  private:
    // Passes lines on, noting the word "forged".
    class Watcher : public LineReceiver {
      public:
        LineReceiver& Watch(LineReceiver& target, bool& forged) {
            m_target = &target;
            m_forged = &forged;
            return *this;
        }
        void Begin(std::uint64_t offset) override { m_target->Begin(offset); }
        void ReceiveText(const Byte* begin, const Byte* end) override {
            if (std::string(begin, end).find("forged") != std::string::npos) *m_forged = true;
            m_target->ReceiveText(begin, end);
        }
        void EndLine(std::uint64_t a, std::uint64_t b) override { m_target->EndLine(a, b); }
        void End(std::uint64_t total) override { m_target->End(total); }

      private:
        LineReceiver* m_target = nullptr;
        bool* m_forged = nullptr;
    };

    LineReceiver* m_content = nullptr;
    bool m_forged = false;
    Watcher m_watcher;
};

}  // namespace

TEST(MultipartFileListMaker, OneListIsDeliveredOnceAtTheEnd) {
    RecordingList target;
    MultipartFileListMaker maker;
    maker.Reset(target);
    ReadMessageInto(maker, ListOfFile("a", 4));
    EXPECT_EQ(target.headers, 1);
    EXPECT_EQ(target.ends, 1);
    EXPECT_EQ(target.version, 4u);
    EXPECT_EQ(target.names, std::vector<std::string>{"a"});
}

TEST(MultipartFileListMaker, MixedPartsAreMergedIntoOneList) {
    RecordingList target;
    MultipartFileListMaker maker;
    maker.Reset(target);
    const std::string inner = MixedMessage({ListOfFile("b", 5, "1, 2"), ListOfFile("c", 6, "1, 3")}, "inner");
    ReadMessageInto(maker, MixedMessage({ListOfFile("a", 4, "1"), inner}));
    EXPECT_EQ(target.headers, 1);
    EXPECT_EQ(target.ends, 1);
    EXPECT_EQ(target.version, 6u);
    EXPECT_EQ(target.names, (std::vector<std::string>{"c", "a", "b"}));
}

TEST(MultipartFileListMaker, TenMixedLevelsAreReadAndElevenAreTooMany) {
    std::string text = ListOfFile("deep", 1);
    for (std::size_t level = 1; level <= MultipartFileListMaker::kMaximumMixedLevels; ++level) {
        // Each level its own boundary, as a writer of nested messages must choose.
        text = "Content-Type: multipart/mixed; boundary=\"level" + std::to_string(level) + "\"\r\n\r\n--level" +
               std::to_string(level) + "\r\n" + text + "\r\n--level" + std::to_string(level) + "--\r\n";
        RecordingList target;
        MultipartFileListMaker maker;
        maker.Reset(target);
        ReadMessageInto(maker, text);
        EXPECT_EQ(target.names, std::vector<std::string>{"deep"}) << level << " levels";
    }
    text = "Content-Type: multipart/mixed; boundary=\"top\"\r\n\r\n--top\r\n" + text + "\r\n--top--\r\n";
    RecordingList target;
    MultipartFileListMaker maker;
    maker.Reset(target);
    EXPECT_THROW(ReadMessageInto(maker, text), StackFull);
}

TEST(MultipartFileListMaker, EveryLeafGoesThroughTheVerifier) {
    RecordingList target;
    FakeVerifier verifier;
    MultipartFileListMaker maker;
    maker.Reset(target, &verifier);
    const std::string leaf = "Content-Type: multipart/signed; boundary=\"x\"\r\nX-Other: dropped\r\n\r\n";
    // The fake passes the whole body on as the content: a list.
    ReadMessageInto(maker, MixedMessage({leaf + ListOfFile("a", 1), leaf + ListOfFile("b", 1)}));
    EXPECT_EQ(verifier.begun, 2);
    EXPECT_EQ(verifier.ended, 2);
    EXPECT_EQ(verifier.headers, (std::vector<std::string>{"content-type", "content-type"}))
        << "only the content type is replayed into the signed stage";
    EXPECT_EQ(target.names, (std::vector<std::string>{"b", "a"}));

    RecordingList refused;
    maker.Reset(refused, &verifier);
    EXPECT_THROW(ReadMessageInto(maker, MixedMessage({leaf + ListOfFile("a", 1), leaf + ListOfFile("forged", 1)})),
                 std::runtime_error);
    EXPECT_EQ(refused.ends, 0) << "no list is delivered once a leaf is refused";
}
