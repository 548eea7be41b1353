#include "formats/file_list_merger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pipeline_recorders.h"

namespace {

using Version = std::vector<std::uint32_t>;

// What reached the merger's target.
class RecordingList : public FileListReceiver {
  public:
    void Header(const FileListHeader& header) override {
        ++headers;
        merged = header;
    }
    void Entry(FileListEntry entry) override { entries.push_back(std::move(entry)); }
    void End() override { ++ends; }

    // "name@url" of each entry, in order.
    std::vector<std::string> Kept() const {
        std::vector<std::string> kept;
        for (const FileListEntry& entry : entries) kept.push_back(entry.name + "@" + entry.url);
        return kept;
    }

    FileListHeader merged;
    std::vector<FileListEntry> entries;
    int headers = 0;
    int ends = 0;
};

FileListHeader ListHeader(std::uint32_t version, const Version& sources) {
    FileListHeader header;
    header.version = version;
    std::copy(sources.begin(), sources.end(), header.sourceVersions.begin());
    return header;
}

// An entry whose URL tells which list it came from.
FileListEntry Entry(const std::string& name, const std::string& from, const Version& modified,
                    const Version& created = {}) {
    FileListEntry entry;
    entry.type = "FILE";
    entry.name = name;
    entry.url = from;
    entry.creationVersions = created;
    entry.modificationVersions = modified;
    return entry;
}

}  // namespace

// The first list's sources M hold P; the second list's sources T offer E of the same name.
TEST(FileListMerger, OneOfTwoEntriesOfANameIsKept) {
    struct Case {
        const char* title;
        Version m;
        Version previousModified;
        Version t;
        Version offeredModified;
        const char* kept;  // "first" or "second"
    };
    const Case cases[] = {
        {"a newer list's unknown change wins", {1}, {1}, {2}, {2}, "second"},
        {"a newer list loses to a change it does not cover", {1, 5}, {1, 5}, {2, 0}, {1, 0}, "first"},
        {"an older list loses to a known change", {2}, {2}, {1}, {1}, "first"},
        {"an older list wins with a change the first list does not cover", {2, 0}, {1, 0}, {1, 3}, {1, 3}, "second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        RecordingList target;
        FileListMerger merger;
        merger.Reset(target);
        merger.Header(ListHeader(1, c.m));
        merger.Entry(Entry("f", "first", c.previousModified));
        merger.Header(ListHeader(2, c.t));
        merger.Entry(Entry("f", "second", c.offeredModified));
        merger.End();
        EXPECT_EQ(target.Kept(), std::vector<std::string>{std::string("f@") + c.kept});
    }
}

TEST(FileListMerger, AnEntryOfANewNameIsKeptUnlessTheFirstListKnewItsVersion) {
    struct Case {
        const char* title;
        Version modified;
        Version created;
        bool kept;
    };
    // M = (3, 1), T = (3, 2).
    const Case cases[] = {
        {"beyond what the first list knew", {3, 2}, {}, true},
        {"exactly what the first list knew", {3, 1}, {}, true},
        {"older than what the first list knew: deleted since", {2, 1}, {}, false},
        {"beyond its own list's sources", {3, 3}, {}, false},
        {"changed before it was created", {3, 1}, {3, 2}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        RecordingList target;
        FileListMerger merger;
        merger.Reset(target);
        merger.Header(ListHeader(1, {3, 1}));
        merger.Header(ListHeader(2, {3, 2}));
        merger.Entry(Entry("new", "second", c.modified, c.created));
        merger.End();
        EXPECT_EQ(target.entries.size(), c.kept ? 1u : 0u);
    }
}

TEST(FileListMerger, MergesHeadersAndOrdersTheResult) {
    RecordingList target;
    FileListMerger merger;
    merger.Reset(target);
    FileListHeader first = ListHeader(7, {4, 1});
    first.fullSiteURL = "http://first";
    merger.Header(first);
    merger.Entry(Entry("only-first", "first", {4}));
    merger.Entry(Entry("b", "first", {4}));
    merger.Header(ListHeader(8, {2, 5}));  // older by the order: the version stays
    merger.Entry(Entry("c", "second", {2, 5}));
    merger.Entry(Entry("a", "second", {2, 5}));
    merger.Header(ListHeader(9, {4, 6}));  // newer: its version is taken
    merger.Entry(Entry("b", "third", {4, 6}));
    merger.End();

    EXPECT_EQ(target.headers, 1);
    EXPECT_EQ(target.ends, 1);
    EXPECT_EQ(target.merged.version, 9u);
    EXPECT_EQ(target.merged.fullSiteURL, "http://first") << "the first list's header, with merged versions";
    EXPECT_EQ(target.merged.sourceVersions[0], 4u);
    EXPECT_EQ(target.merged.sourceVersions[1], 6u);
    // The last list's entries by name, then the earlier lists' other names: a file of the first list
    // that the later lists leave alone survives all of them.
    EXPECT_EQ(target.Kept(), (std::vector<std::string>{"b@third", "a@second", "c@second", "only-first@first"}));
}

TEST(FileListMerger, OneListPassesWholeInNameOrder) {
    RecordingList target;
    FileListMerger merger;
    merger.Reset(target);
    merger.Header(ListHeader(3, {}));
    for (const char* name : {"z", "B", "a", "a"}) merger.Entry(Entry(name, "only", {}));
    merger.End();
    EXPECT_EQ(target.merged.version, 3u);
    EXPECT_EQ(target.Kept(), (std::vector<std::string>{"B@only", "a@only", "a@only", "z@only"}));
}

TEST(FileListMerger, RefusesMoreEntriesThanAListMayHold) {
    RecordingList target;
    FileListMerger merger;
    merger.Reset(target);
    merger.Header(ListHeader(1, {}));
    // Entries beyond the list's sources are dropped, yet each one counts.
    const FileListEntry dropped = Entry("x", "", {1});
    for (std::uint32_t i = 0; i < kMaximumFileListEntries; ++i) merger.Entry(dropped);
    EXPECT_THROW(merger.Entry(dropped), TooManyFileListEntries);
}
