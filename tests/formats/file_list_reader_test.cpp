#include "formats/file_list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/numerals.h"
#include "foundation/data_stages.h"
#include "foundation/time_parser.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::vector<SiteFile> kFiles = {
    {"a b.txt", "alpha", 60},
    {"bin.dat", std::string("\0\1\2", 3), 86'400},
};

ConstData DataOf(const std::string& text) {
    return ConstData(std::string_view(text));
}

// The list read from text held in memory.
void Read(const std::string& text, STDFileList& list, std::uint32_t baseVersion = 0) {
    ReadFileListBytes(DataOf(text), baseVersion, list);
}

// A list with one entry of the given fields.
std::string ListOf(const ListFields& entry, const FileListOptions& options = {}) {
    return FileListText(options, {entry});
}

// The fields of a good entry, with one field replaced (or added when the name is new); an empty value
// drops the field.
ListFields EntryWith(const std::string& name, const std::string& value) {
    ListFields fields = EntryFieldsOf(kFiles[0], "http://parent.example.test/site/");
    bool replaced = false;
    for (auto it = fields.begin(); it != fields.end();) {
        if (it->first == name) {
            replaced = true;
            if (value.empty()) {
                it = fields.erase(it);
                continue;
            }
            it->second = value;
        }
        ++it;
    }
    if (!replaced && !value.empty()) fields.emplace_back(name, value);
    return fields;
}

// The text of the exception that reading the list throws; empty when it reads.
std::string FailureOf(const std::string& text) {
    STDFileList list;
    try {
        Read(text, list);
    } catch (const std::exception& failure) {
        EXPECT_EQ(list.Count(), 0u) << "a failed read leaves no entries";
        return failure.what();
    }
    return {};
}

std::string Named(const char* className) {
    return std::string("class ") + className;
}

}  // namespace

TEST(FileListReader, ReadsTheHeaderSetAndEveryEntry) {
    FileListOptions options;
    options.version = 12;
    options.sourceVersions = "5, 3";
    options.extraHeaders = {
        {"fullsiteurl", "http://parent.example.test/full"},
        {"fullsiteurlsize", "5000000000"},
        {"sitediffbaseurl", "http://parent.example.test/diff_"},
        {"sitedifflist", "011"},
        {"unique-id", "77"},
        {"actionsiteepoch", "Sat, 01 Jan 2000 00:00:00 +0000"},
        {"x-relevant-when", "true"},
        {"sitedisplayname", "Caf=E9_Site"},
        {"x-unknown-header", "ignored"},
    };
    STDFileList list;
    Read(FileListForFiles(kFiles, options), list, 10);

    EXPECT_EQ(list.GetVersion(), 12u);
    EXPECT_EQ(list.GetManyVersion()[0], 5u);
    EXPECT_EQ(list.GetManyVersion()[1], 3u);
    EXPECT_EQ(list.GetManyVersion()[2], 0u);
    EXPECT_EQ(list.GetFullSiteURL(), "http://parent.example.test/full");
    EXPECT_EQ(list.GetFullSiteSize(), 5'000'000'000u);
    EXPECT_EQ(list.GetDifferenceURL(), "http://parent.example.test/diff_10");
    EXPECT_EQ(list.GetUniqueID(), 77u);
    EXPECT_EQ(list.GetRelevance(), "true");
    EXPECT_EQ(list.GetDisplayName(), "Caf\xC3\xA9 Site");
    ASSERT_TRUE(list.GetActionSiteEpoch().has_value());
    EXPECT_EQ(list.GetActionSiteEpoch()->date.year, 2000u);

    ASSERT_EQ(list.Count(), 2u);
    const FileListEntry& first = list.At(0);
    EXPECT_EQ(first.name, "a b.txt");
    EXPECT_EQ(first.url, "http://parent.example.test/site/a%20b.txt");
    EXPECT_EQ(first.type, "FILE");
    EXPECT_EQ(first.modified, TimeValue(60 * kMicrosecondsPerSecond));
    EXPECT_EQ(first.size, 5u);
    EXPECT_EQ(first.sha1.ToHex(), Sha1Hex("alpha"));
    EXPECT_EQ(first.CacheName(), Sha1Hex("alpha") + ".sha1");
    EXPECT_EQ(list.Find("bin.dat"), &list.At(1));
    EXPECT_EQ(list.Find("missing"), nullptr);
}

TEST(FileListReader, ReadsCompressedFilesAndSignedMessagesAlike) {
    FileListOptions options;
    options.version = 3;
    const std::string text = FileListForFiles(kFiles, options);
    // The signature is only dropped here; the signed reader checks it.
    const std::string signedText =
        "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; micalg=sha1; boundary=\"s\"\r\n"
        "version: 99\r\n\r\n--s\r\n" + text + "\r\n--s\r\nContent-Type: application/pkcs7-signature\r\n\r\nAAAA\r\n--s--\r\n";
    TemporaryFolder folder;
    for (const std::string& bytes : {CompressedFileBytes(text), signedText, CompressedFileBytes(signedText)}) {
        WriteFileBytes(folder / "list", bytes);
        STDFileList list;
        ReadFileList(FileLocation((folder / "list").c_str()), 0, list);
        EXPECT_EQ(list.GetVersion(), 3u) << "the signed part's own header lines are the header set";
        EXPECT_EQ(list.Count(), 2u);
    }
}

TEST(FileListReader, KeepsEntriesByTypeAndSkipsIncompleteParts) {
    std::vector<ListFields> entries;
    for (const char* type : {"FILE", "NONCLIENTFILE", "DIRECTORY", "file"}) {
        ListFields fields = EntryFieldsOf({std::string("t-") + type, "x", 0}, "http://p/");
        fields[2].second = type;
        entries.push_back(fields);
    }
    for (const char* required : {"url", "name", "type", "modified"}) {
        ListFields fields = EntryFieldsOf({std::string("without-") + required, "x", 0}, "http://p/");
        std::erase_if(fields, [&](const auto& field) { return field.first == required; });
        entries.push_back(fields);
    }
    std::string text = FileListText({}, entries);
    // A part with a content type of its own is skipped whole.
    const std::string typedPart = "--filelist-part-boundary\r\nContent-Type: text/plain\r\n\r\n";
    text.insert(text.find("--filelist-part-boundary"),
                typedPart + "url: u\r\nname: typed\r\ntype: FILE\r\nmodified: " + TimeText(0) + "\r\n");

    STDFileList everything;
    Read(text, everything);
    ASSERT_EQ(everything.Count(), 2u);
    EXPECT_EQ(everything.At(0).name, "t-FILE");
    EXPECT_EQ(everything.At(1).name, "t-NONCLIENTFILE");

    STDFileList clientFiles(true);
    Read(text, clientFiles);
    ASSERT_EQ(clientFiles.Count(), 1u);
    EXPECT_EQ(clientFiles.At(0).name, "t-FILE");
}

TEST(FileListReader, ValuesAreCutOrReadAsTheirFieldSays) {
    struct Case {
        const char* title;
        std::string field;
        std::string value;
        std::string name;     // the entry's expected file name
        std::string url;      // its expected URL
        std::string failure;  // the class of the failure, when the read fails
    };
    const std::string longURL(300, 'u');
    const Case cases[] = {
        {"a URL is cut at 256 bytes", "url", longURL, "a b.txt", longURL.substr(0, 256), ""},
        {"a name keeps its last component", "name", "dir%2Fsub\\deep/c%20d.txt", "c d.txt", "", ""},
        {"a name of 256 bytes", "name", std::string(256, 'n'), std::string(256, 'n'), "", ""},
        {"a name that decodes beyond 256 bytes", "name", std::string(257, 'n'), "", "", "FileListValueTooLong"},
        {"an empty name", "name", "dir/", "", "", "IllegalFileListName"},
        {"a name of a dot", "name", "x/.", "", "", "IllegalFileListName"},
        {"a name of two dots", "name", "%2E%2E", "", "", "IllegalFileListName"},
        {"a name holding NUL", "name", "a%00b", "", "", "IllegalFileListName"},
        {"a name holding a control byte", "name", "a%1Fb", "", "", "IllegalFileListName"},
        {"a name holding DEL", "name", "a%7Fb", "", "", "IllegalFileListName"},
        {"a SHA-1 of 39 digits", "sha1", std::string(39, 'a'), "", "", "MalformedFileListDigest"},
        {"a SHA-1 of 40 non-digits", "sha1", std::string(40, 'g'), "", "", "MalformedFileListDigest"},
        {"a size with a letter", "size", "5x", "", "", "NotANumeral"},
        {"a size beyond 32 bits", "size", "4294967296", "", "", "NumeralTooLarge"},
        {"a modification time that is no time", "modified", "yesterday", "", "", "ParsingFailure"},
        {"a cache name of another file", "haurlname", "../../etc.sha1", "", "", "MalformedFileListDigest"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string text = ListOf(EntryWith(c.field, c.value));
        if (!c.failure.empty()) {
            EXPECT_EQ(FailureOf(text), Named(c.failure.c_str()));
            continue;
        }
        STDFileList list;
        Read(text, list);
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list.At(0).name, c.name);
        if (!c.url.empty()) {
            EXPECT_EQ(list.At(0).url, c.url);
        }
    }
}

TEST(FileListReader, TheCacheNameComesFromTheDigest) {
    const std::string sha1 = Sha1Hex("alpha");
    std::string upper = sha1;
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    ListFields fields = EntryWith("sha1", "");
    fields.emplace_back("hash", upper);
    fields.emplace_back("haurlname", upper + ".SHA1");
    STDFileList list;
    Read(ListOf(fields), list);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.At(0).CacheName(), sha1 + ".sha1");

    ListFields withoutDigest = EntryWith("sha1", "");
    Read(ListOf(withoutDigest), list);
    EXPECT_EQ(list.At(0).CacheName(), "");
    withoutDigest.emplace_back("haurlname", sha1 + ".sha1");
    EXPECT_EQ(FailureOf(ListOf(withoutDigest)), Named("MalformedFileListDigest"));
}

TEST(FileListReader, ManyVersionsOfEntries) {
    ListFields created = EntryWith("creation-versions", "4, 0, 2");
    FileListOptions options;
    options.sourceVersions = "5, 1, 2";
    STDFileList list;
    Read(ListOf(created, options), list);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.At(0).creationVersions, (std::vector<std::uint32_t>{4, 0, 2}));
    EXPECT_EQ(list.At(0).modificationVersions, list.At(0).creationVersions) << "an empty one takes the creation's";

    created.emplace_back("modification-versions", "5, 1, 2");
    Read(ListOf(created, options), list);
    EXPECT_EQ(list.At(0).modificationVersions, (std::vector<std::uint32_t>{5, 1, 2}));
}

TEST(FileListReader, RefusesOversizedValues) {
    const std::string megabyte(kMaximumFileListValueBytes, 'r');
    FileListOptions largest;
    largest.extraHeaders = {{"x-relevant-when", megabyte}};
    STDFileList list;
    Read(ListOf(EntryWith("size", "5"), largest), list);
    EXPECT_EQ(list.GetRelevance().size(), kMaximumFileListValueBytes);

    for (const char* header : {"x-relevant-when", "sitedisplayname", "content-type", "unknown-but-long"}) {
        FileListOptions options;
        options.extraHeaders = {{header, megabyte + "r"}};
        const std::string text = ListOf(EntryWith("size", "5"), options);
        // An unknown header's value is never collected, whatever its length.
        EXPECT_EQ(FailureOf(text), std::string(header) == "unknown-but-long" ? "" : Named("FileListValueTooLong"))
            << header;
    }
    EXPECT_EQ(FailureOf(ListOf(EntryWith("url", megabyte + "u"))), Named("FileListValueTooLong"));

    FileListOptions cut;
    cut.extraHeaders = {{"fullsiteurl", std::string(300, 'f')}, {"sitedifflist", std::string(300, '1')}};
    Read(ListOf(EntryWith("size", "5"), cut), list);
    EXPECT_EQ(list.GetFullSiteURL(), std::string(256, 'f'));
    EXPECT_EQ(list.GetDifferenceList().size(), 256u);
}

TEST(FileListReader, OnlyDirectoryListsAreFileLists) {
    const std::string list = FileListForFiles(kFiles, {});
    const std::string cases[] = {
        "Content-Type: text/plain\r\n\r\nversion: 1\r\n",
        "version: 1\r\n\r\n",
        "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n--m--\r\n",
        // A signed message whose signed part is no list, or that has no part at all.
        "Content-Type: multipart/signed; boundary=\"s\"\r\n\r\n--s\r\nContent-Type: text/plain\r\n\r\nx\r\n--s--\r\n",
        "Content-Type: multipart/signed; boundary=\"s\"\r\n\r\nno parts\r\n",
    };
    for (const std::string& text : cases) EXPECT_EQ(FailureOf(text), Named("NotAFileList")) << text;
}

TEST(FileListReader, SignedMessagesNestOnlySoDeep) {
    std::string text = FileListForFiles(kFiles, {});
    for (std::size_t depth = 1; depth <= FileListMaker::kMaximumSignedNesting + 1; ++depth) {
        const std::string boundary = "s" + std::to_string(depth);
        text = "Content-Type: multipart/signed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary + "\r\n" + text +
               "\r\n--" + boundary + "\r\nContent-Type: application/pkcs7-signature\r\n\r\nAAAA\r\n--" + boundary +
               "--\r\n";
        const bool tooDeep = depth > FileListMaker::kMaximumSignedNesting;
        EXPECT_EQ(FailureOf(text), tooDeep ? Named("NotAFileList") : "") << depth << " signed levels";
    }
}

TEST(FileListReader, DifferenceURLForABaseVersion) {
    struct Case {
        const char* differenceList;
        std::uint32_t base;
        const char* url;
    };
    const Case cases[] = {
        {"0001", 7, "http://p/d_7"}, {"0001", 10, ""}, {"0001", 0, ""}, {"0001", 11, ""},
        {"0001", 9, ""},             {"0001", 6, ""},  {"0110", 9, "http://p/d_9"}, {"0110", 8, "http://p/d_8"},
        {"0110", 7, ""},
    };
    for (const Case& c : cases) {
        FileListOptions options;
        options.version = 10;
        options.extraHeaders = {{"sitediffbaseurl", "http://p/d_"}, {"sitedifflist", c.differenceList}};
        STDFileList list;
        Read(ListOf(EntryWith("size", "5"), options), list, c.base);
        EXPECT_EQ(list.GetDifferenceURL(), c.url) << c.differenceList << " from " << c.base;
        EXPECT_EQ(list.DifferenceURLFor(c.base), c.url);
    }
}

TEST(FileListReader, DisplayNamesDecodeEscapesAndEncodedWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"Caf=E9_Site", "Caf\xC3\xA9 Site"},
        {"=?utf-8?Q?Gr=C3=BC=C3=9Fe?= and more", "Gr\xC3\xBC\xC3\x9F" "e and more"},
        {"50=", "50="},
    };
    for (auto [value, expected] : cases) {
        FileListOptions options;
        options.extraHeaders = {{"sitedisplayname", value}};
        STDFileList list;
        Read(ListOf(EntryWith("size", "5"), options), list);
        EXPECT_EQ(list.GetDisplayName(), expected) << value;
    }
}

TEST(FileListReader, TheActionSiteEpochIsReadWhenAskedFor) {
    STDFileList list;
    Read(ListOf(EntryWith("size", "5")), list);
    EXPECT_FALSE(list.GetActionSiteEpoch().has_value());

    FileListOptions options;
    options.extraHeaders = {{"actionsiteepoch", "not a time"}};
    Read(ListOf(EntryWith("size", "5"), options), list);
    EXPECT_EQ(list.Count(), 1u) << "the list reads; only the query fails";
    EXPECT_THROW(list.GetActionSiteEpoch(), ParsingFailure);
}

TEST(FileListReader, HeaderNumbersMustBeDecimal) {
    struct Case {
        const char* header;
        const char* value;
        const char* failure;
    };
    const Case cases[] = {
        {"version", "ten", "NotANumeral"},
        {"unique-id", "99999999999", "NumeralTooLarge"},
        {"fullsiteurlsize", "", "NotANumeral"},
    };
    for (const Case& c : cases) {
        FileListOptions options;
        options.extraHeaders = {{c.header, c.value}};
        EXPECT_EQ(FailureOf(ListOf(EntryWith("size", "5"), options)), Named(c.failure)) << c.header;
    }
}
