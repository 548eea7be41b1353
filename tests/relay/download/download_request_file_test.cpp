#include "relay/download/download_request_file.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/line_maker.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

const std::string kSha1 = "00112233445566778899aabbccddeeff00112233";

// The file read back as its flag, action and one target text per line, or the class of its failure.
std::string Read(const std::string& content) {
    try {
        DownloadRequestFile file;
        DownloadRequestFileMaker maker(file);
        LineMaker lines(maker);
        ReceiveComplete(lines, ConstData(std::string_view(content)));
        std::string result = std::string(file.add ? "+" : "-") + " " + std::to_string(file.actionID);
        for (const DownloadRequestTarget& target : file.targets)
            result += "\n" + downloadRequestTargetText(target);
        return result;
    } catch (const DebuggableException& failure) {
        return failure.what();
    }
}

TEST(DownloadRequestFile, ReadsTheLineFormat) {
    const struct {
        const char* name;
        std::string content;
        std::string read;
    } cases[] = {
        {"only the two header lines", "+\n12\n", "+ 12"},
        {"header lines without line end", "-\r\n12", "- 12"},
        {"the add flag is the first byte", "+add\n12\n", "+ 12"},
        {"one group with both lines", "+\n12\nhttp://a/x y\nsize:5000\nsha1:" + kSha1 + "\n",
         "+ 12\naid=12,index=1,sha1=" + kSha1 + ",size=5000,url=http%3a%2f%2fa%2fx%20y"},
        {"a URL and a null SHA-1", "+\n12\nhttp://a\nsha1:null",
         "+ 12\naid=12,index=1,sha1=null,size=null,url=http%3a%2f%2fa"},
        {"null size and SHA-1 are absent, not zero", "+\n12\nu\nsize:null\nsha1:null\n",
         "+ 12\naid=12,index=1,sha1=null,size=null,url=u"},
        {"an empty line inside the groups is a URL", "+\n12\n\nsha1:null\n",
         "+ 12\naid=12,index=1,sha1=null,size=null,url="},
        {"upper-case SHA-1 digits", "+\n12\nu\nsha1:00112233445566778899AABBCCDDEEFF00112233\n",
         "+ 12\naid=12,index=1,sha1=" + kSha1 + ",size=null,url=u"},
        {"empty file", "", "class InvalidDownloadRequestFile"},
        {"one line", "+\n", "class NotANumeral"},
        {"one line without line end", "+", "class InvalidDownloadRequestFile"},
        {"neither flag", "*\n12\n", "class InvalidDownloadRequestFile"},
        {"\"-\" must be the whole line", "-x\n12\n", "class InvalidDownloadRequestFile"},
        {"action not a number", "+\n12a\n", "class NotANumeral"},
        {"action above 32 bits", "+\n4294967296\n", "class NumeralTooLarge"},
        {"URL on the last line", "+\n12\nu\n", "class InvalidDownloadRequestFile"},
        {"size line followed by nothing", "+\n12\nu\nsize:10\n", "class InvalidDownloadRequestFile"},
        {"size line followed by a URL", "+\n12\nu\nsize:10\nv\nsha1:null\n",
         "class InvalidDownloadRequestFile"},
        {"size not a number", "+\n12\nu\nsize:ten\nsha1:null\n", "class NotANumeral"},
        {"size above 64 bits", "+\n12\nu\nsize:18446744073709551616\nsha1:null\n", "class NumeralTooLarge"},
        {"39-digit SHA-1", "+\n12\nu\nsha1:" + kSha1.substr(1) + "\n", "class InvalidDownloadRequestFile"},
        {"41-digit SHA-1", "+\n12\nu\nsha1:" + kSha1 + "0\n", "class InvalidDownloadRequestFile"},
        {"SHA-1 with a blank", "+\n12\nu\nsha1:" + kSha1.substr(1) + " \n",
         "class InvalidDownloadRequestFile"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.content), c.read);
    }
}

TEST(DownloadRequestFile, NumbersGroupsInFileOrder) {
    EXPECT_EQ(
        Read("+\n7\nu1\nsha1:" + kSha1 + "\nu2\nsize:0\nsha1:null\n\n\n"),
        "+ 7\naid=7,index=1,sha1=" + kSha1 + ",size=null,url=u1\naid=7,index=2,sha1=null,size=0,url=u2");
}

TEST(DownloadRequestFile, ReadsAFileAndRefusesOneOfAnotherAction) {
    TemporaryFolder folder;
    WriteWholeFile(folder / "dl_12", "+\n12\nu\nsha1:null\n");
    const FileLocation location((folder / "dl_12").c_str());
    EXPECT_EQ(ReadDownloadRequestFile(location).targets.size(), 1u);
    EXPECT_EQ(ReadDownloadRequestFileOfAction(location, 12).actionID, 12u);
    EXPECT_THROW(ReadDownloadRequestFileOfAction(location, 13), InvalidDownloadRequestFile);
}

}  // namespace
