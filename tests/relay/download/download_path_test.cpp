#include "relay/download/download_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::string_view kPrefix = "/vtmirror/downloads";
const std::string kHex = "0123456789abcdefABCDEF0123456789abcdef01";

DownloadPath Parse(const std::string& path) {
    return ParseDownloadPath(ConstData(std::string_view(path)), ConstData(kPrefix));
}

// The kind and parts as one text: "1 a12", "2 a12 i0", "3 <hex>", "0".
std::string Described(const DownloadPath& path) {
    switch (path.GetKind()) {
        case DownloadPathKind::RequestFile:
            return "1 a" + std::to_string(path.GetActionID());
        case DownloadPathKind::ActionIndex:
            return "2 a" + std::to_string(path.GetActionID()) + " i" + std::to_string(path.GetIndex());
        case DownloadPathKind::Sha1:
            return "3 " + path.GetSHA1().ToHex();
        case DownloadPathKind::NotADownloadPath:
            break;
    }
    return "0";
}

}  // namespace

TEST(ParseDownloadPath, GrammarTable) {
    const struct {
        std::string path;
        std::string parsed;
    } cases[] = {
        {"/vtmirror/downloads/sha1/" + kHex, "3 0123456789abcdefabcdef0123456789abcdef01"},
        {"/vtmirror/downloads/sha1/" + kHex + "/more", "3 0123456789abcdefabcdef0123456789abcdef01"},
        {"/vtmirror/downloads/sha1/" + kHex.substr(1), "0"},
        {"/vtmirror/downloads/sha1/" + kHex + "0", "0"},
        {"/vtmirror/downloads/sha1/" + kHex.substr(1) + "g", "0"},
        {"/vtmirror/downloads/sha1", "0"},
        {"/vtmirror/downloads/12/0", "2 a12 i0"},
        {"/vtmirror/downloads/12/3", "2 a12 i3"},
        {"/vtmirror/downloads/12/4294967295", "2 a12 i4294967295"},
        {"/vtmirror/downloads/12/4294967296", "0"},
        {"/vtmirror/downloads/12/3/extra", "2 a12 i3"},
        {"/vtmirror/downloads/0/3", "0"},
        {"/vtmirror/downloads/4294967296/3", "0"},
        {"/vtmirror/downloads/12", "0"},
        {"/vtmirror/downloads/12/", "0"},
        {"/vtmirror/downloads/12/dl_12", "1 a12"},
        {"/vtmirror/downloads/12/dl_12_x", "1 a12"},
        {"/vtmirror/downloads/12/dl_13", "0"},
        {"/vtmirror/downloads/12/dl_", "0"},
        {"/vtmirror/downloads/12/DL_12", "0"},
        {"/vtmirror/downloads/12/3;p", "0"},
        {"/vtmirror/downloads/%31%32/3", "0"},
        {"/VTMIRROR/downloads/12/3", "0"},
        {"/vtmirror/Downloads/sha1/" + kHex, "0"},
        {"vtmirror/downloads/12/3", "0"},
        {"//vtmirror/downloads/12/3", "0"},
        {"/vtmirror/downloads", "0"},
        {"/vtmirror", "0"},
        {"/other/downloads/12/3", "0"},
        {"", "0"},
    };
    for (const auto& test : cases) EXPECT_EQ(Described(Parse(test.path)), test.parsed) << test.path;
}

TEST(ParseDownloadPath, APartTheKindLacksIsRefused) {
    const DownloadPath requestFile = Parse("/vtmirror/downloads/12/dl_12");
    EXPECT_THROW(requestFile.GetIndex(), NoSuchDownloadURLComponent);
    EXPECT_THROW(requestFile.GetSHA1(), NoSuchDownloadURLComponent);
    EXPECT_THROW(Parse("/vtmirror/downloads/sha1/" + kHex).GetActionID(), NoSuchDownloadURLComponent);
    EXPECT_THROW(Parse("/elsewhere").GetActionID(), NoSuchDownloadURLComponent);
}
