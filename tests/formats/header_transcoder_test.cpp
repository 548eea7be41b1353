#include "formats/header_transcoder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "formats/charset_names.h"
#include "formats/chunked_input_support.h"

namespace {

void Feed(DataReceiver& piece, const std::string& text) {
    piece.Begin();
    piece.Receive(reinterpret_cast<const Byte*>(text.data()),
                  reinterpret_cast<const Byte*>(text.data()) + text.size());
    piece.End();
}

}  // namespace

TEST(HeaderTranscoder, PiecesInSeveralCharsetsBecomeOneText) {
    RecordingTextReceiver<UTF8> target;
    HeaderTranscoder transcoder(&target);
    transcoder.SetDefaultCharset(ConstData(std::string_view("iso-8859-1")));
    transcoder.Begin();
    Feed(transcoder.TextInDefaultCharset(), "caf\xE9 ");
    Feed(transcoder.TextInCharset(ConstData(std::string_view("UTF-8"))), "\xC3\xBC");
    Feed(transcoder.TextInCharset(ConstData(std::string_view("us-ascii"))), "!");
    transcoder.End();
    EXPECT_EQ(std::string(target.units.begin(), target.units.end()), "caf\xC3\xA9 \xC3\xBC!");
    EXPECT_EQ(target.begins, 1);
    EXPECT_EQ(target.ends, 1);

    transcoder.Begin();
    EXPECT_THROW(Feed(transcoder.TextInCharset(ConstData(std::string_view("UTF8"))), "x"),
                 EncodingUnknownToSimpleIANATranscoder);
    EXPECT_THROW(transcoder.TextInCharset(ConstData(std::string(49, 'x'))), ConstDataCapacityExceeded);
}

TEST(CharsetNames, AliasesTakeTheCanonicalName) {
    struct Case {
        const char* name;
        const char* canonical;
    };
    for (const Case& test : {
             Case{"Latin1", "iso-8859-1"},
             Case{"CSISOLATIN1", "iso-8859-1"},
             Case{"iso_8859-1:1987", "iso-8859-1"},
             Case{"us", "us-ascii"},
             Case{"ISO646-US", "us-ascii"},
             Case{"iso_646.irv:1991", "us-ascii"},
             Case{"UTF-8", "utf-8"},
             Case{"Windows-1252", "windows-1252"},
             Case{"u", "u"},
             Case{"", ""},
         }) {
        EXPECT_EQ(CanonicalCharsetName(ConstData(std::string_view(test.name))), test.canonical) << test.name;
    }
}

TEST(CharsetNames, SameCharsetComparesCanonicalNames) {
    const std::tuple<const char*, const char*, bool> pairs[] = {
        {"ISO_8859-1", "latin1", true}, {"iso-8859-1", "ISO-8859-1", true}, {"ascii", "US-ASCII", true},
        {"UTF-8", "utf-8", true},       {"latin1", "us-ascii", false},      {"utf-8", "utf8", false},
        {"", "", true},
    };
    for (const auto& [a, b, same] : pairs)
        EXPECT_EQ(SameCharset(ConstDataOfCString(a), ConstDataOfCString(b)), same) << a << " " << b;
}
