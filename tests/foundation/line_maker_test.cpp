#include "foundation/line_maker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/data_stages.h"
#include "support/pipeline_recorders.h"

using Calls = std::vector<std::string>;

namespace {

// The calls a LineMaker makes for the input fed in the given chunks.
Calls LinesOf(const std::vector<std::string>& chunks) {
    RecordingLineReceiver lines;
    LineMaker maker(lines);
    maker.Begin();
    for (const std::string& chunk : chunks) maker.Write(ConstData(chunk.data(), chunk.size()));
    maker.End();
    return lines.calls;
}

// Joins consecutive Text calls, which a split feed may cut differently.
Calls JoinedText(const Calls& calls) {
    Calls joined;
    for (const std::string& call : calls) {
        if (call.rfind("Text(", 0) == 0 && !joined.empty() && joined.back().rfind("Text(", 0) == 0) {
            joined.back().pop_back();
            joined.back() += call.substr(5);
        } else {
            joined.push_back(call);
        }
    }
    return joined;
}

}  // namespace

TEST(LineMaker, CutsLinesAtEveryKindOfLineEnd) {
    struct Case {
        std::string input;
        Calls calls;
    };
    const Case cases[] = {
        {"a\r\nb", {"Begin(0)", "Text(a)", "EndLine(1,3)", "Text(b)", "End(4)"}},
        {"a\n\rb", {"Begin(0)", "Text(a)", "EndLine(1,3)", "Text(b)", "End(4)"}},
        {"a\n\nb", {"Begin(0)", "Text(a)", "EndLine(1,2)", "EndLine(2,3)", "Text(b)", "End(4)"}},
        {"a\r\rb", {"Begin(0)", "Text(a)", "EndLine(1,2)", "EndLine(2,3)", "Text(b)", "End(4)"}},
        {"a\r\n\r\nb", {"Begin(0)", "Text(a)", "EndLine(1,3)", "EndLine(3,5)", "Text(b)", "End(6)"}},
        {"a\n\r\n", {"Begin(0)", "Text(a)", "EndLine(1,3)", "EndLine(3,4)", "End(4)"}},
        {"x\r", {"Begin(0)", "Text(x)", "EndLine(1,2)", "End(2)"}},
        {"\n", {"Begin(0)", "EndLine(0,1)", "End(1)"}},
        {"", {"Begin(0)", "End(0)"}},
        {"abc", {"Begin(0)", "Text(abc)", "End(3)"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinesOf({c.input}), c.calls) << c.input;
        // Split at every position, and one byte per chunk: the same lines and positions.
        for (std::size_t split = 0; split <= c.input.size(); ++split)
            EXPECT_EQ(JoinedText(LinesOf({c.input.substr(0, split), c.input.substr(split)})), c.calls)
                << c.input << " split at " << split;
        std::vector<std::string> bytes;
        for (char ch : c.input) bytes.emplace_back(1, ch);
        EXPECT_EQ(JoinedText(LinesOf(bytes)), c.calls) << c.input;
    }
}

TEST(LineMaker, PassesTextInThePiecesItArrivesIn) {
    EXPECT_EQ(LinesOf({"a", "\r", "\nb"}),
              (Calls{"Begin(0)", "Text(a)", "EndLine(1,3)", "Text(b)", "End(4)"}));
    EXPECT_EQ(LinesOf({"ab", "cd\n"}), (Calls{"Begin(0)", "Text(ab)", "Text(cd)", "EndLine(4,5)", "End(5)"}));
}

TEST(LineFlattener, ReplacesLineEndsWithTheSeparator) {
    std::string result;
    StringReceiver collect(result);
    LineFlattener flattener(collect, ConstData(std::string_view(" ")));
    LineMaker maker(flattener);
    std::string input = "a\r\nb\nc";
    ReceiveComplete(maker, ConstData(input.data(), input.size()));
    EXPECT_EQ(result, "a b c");
}

TEST(LineListMaker, CollectsLinesWithAFinalEntry) {
    struct Case {
        std::vector<std::string> chunks;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{"a\nb\n"}, {"a", "b", ""}},
        {{""}, {""}},
        {{"one"}, {"one"}},
        {{"o", "ne\r", "\ntw", "o"}, {"one", "two"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> list{"stale"};
        LineListMaker lines(list);
        PumpLines(*std::make_unique<ChunkReader>(c.chunks), lines);
        EXPECT_EQ(list, c.lines);
    }
}
