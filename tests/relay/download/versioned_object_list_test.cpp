#include "relay/download/versioned_object_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "base/numerals.h"
#include "foundation/data_stages.h"
#include "relay/download/download_test_support.h"
#include "support/filter_runs.h"
#include "support/pipeline_recorders.h"

namespace {

using Targets = std::vector<DownloadRequestTarget>;

const Targets kTargets = {
    DownloadRequestTarget::URLRequest(12),
    DownloadRequestTarget::Indexed(12, 1, "http://parent/a,b=c", FilledDigest(0x01), 5000),
    DownloadRequestTarget::Dynamic(13, FilledDigest(0xfe), 0, ""),
};

std::string Written(const Targets& targets) {
    std::string text;
    StringReceiver receiver(text);
    WriteDownloadRequestTargetList(targets, receiver);
    return text;
}

std::vector<std::string> Texts(const Targets& targets) {
    std::vector<std::string> texts;
    for (const DownloadRequestTarget& target : targets) texts.push_back(downloadRequestTargetText(target));
    return texts;
}

Targets ReadText(const std::string& text) {
    ConstDataReader reader{ConstData(std::string_view(text))};
    return ReadDownloadRequestTargetList(reader);
}

TEST(DownloadRequestTargetList, WritesAVersionLineAndOneTargetPerLine) {
    EXPECT_EQ(Written({}), "0\n");
    EXPECT_EQ(Written({DownloadRequestTarget::URLRequest(7)}),
              "0\naid=7,index=null,sha1=null,size=null,url=null\n");
}

TEST(DownloadRequestTargetList, ReadsBackWhatWasWrittenHoweverTheTextIsCut) {
    const std::string text = Written(kTargets);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        ChunkReader reader(SplitAt(text, cut));
        EXPECT_EQ(Texts(ReadDownloadRequestTargetList(reader)), Texts(kTargets));
    }
    ChunkReader bytes(SplitIntoBytes(text));
    EXPECT_EQ(Texts(ReadDownloadRequestTargetList(bytes)), Texts(kTargets));
}

TEST(DownloadRequestTargetList, SkipsBlankLinesAndTakesALastLineWithoutLineEnd) {
    const std::string first = downloadRequestTargetText(kTargets[0]);
    const std::string second = downloadRequestTargetText(kTargets[1]);
    EXPECT_TRUE(ReadText("0\n").empty());
    EXPECT_TRUE(ReadText("0").empty());
    EXPECT_TRUE(ReadText("3\r\n\r\n").empty());
    EXPECT_EQ(Texts(ReadText("0\n\n" + first + "\r\n\n\n" + second)),
              (std::vector<std::string>{first, second}));
}

TEST(DownloadRequestTargetList, RefusesABadVersionLineOrTarget) {
    EXPECT_THROW(ReadText(""), InvalidObjectListVersion);
    EXPECT_THROW(ReadText("\n" + downloadRequestTargetText(kTargets[0])), InvalidObjectListVersion);
    EXPECT_THROW(ReadText("v1\n"), InvalidObjectListVersion);
    EXPECT_THROW(ReadText(downloadRequestTargetText(kTargets[0]) + "\n"), InvalidObjectListVersion);
    EXPECT_THROW(ReadText("0\naid=7\n"), NextValueException);
    EXPECT_THROW(ReadText("0\naid=x,index=null,sha1=null,size=null,url=null"), NotANumeral);
    EXPECT_THROW(ReadText("0\naid=7,index=1,sha1=null,size=null,url=null\n"), NotADownloadRequestTarget);
}

TEST(DownloadRequestTargetList, ReadsUpToTheMostTargetsItTakes) {
    const std::string text = Written(kTargets) + "\n\n";
    for (std::size_t most : {std::size_t{3}, std::size_t{4}}) {
        ConstDataReader reader{ConstData(std::string_view(text))};
        EXPECT_EQ(ReadDownloadRequestTargetList(reader, most).size(), 3u);
    }
    ConstDataReader reader{ConstData(std::string_view(text))};
    EXPECT_THROW(ReadDownloadRequestTargetList(reader, 2), ObjectListTooLong);
}

}  // namespace
