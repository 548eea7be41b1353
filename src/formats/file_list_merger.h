// FileListMerger: joins the partial lists that make up a site's many-version list into one.
//
// It is a FileListReceiver that takes several lists in a row, each as Header and its Entries (the
// End of a list is not passed on to it: multipart_file_list_maker.h ends each list itself). Its own
// End hands the merged list to its target: the merged header, every kept entry, then End.
//
// With A covers B meaning that every component of A is at least the matching one of B (a missing
// component counts as 0), and M the merged many-version before a list's header, T that list's
// "source-versions" and F = (M <= T) in the many-version order:
// - Header: the entries so far, kept as End keeps them, become the previous entries (sorted by
//   name), so the files of every earlier list stay candidates however many lists follow. An empty merged
//   many-version takes the list's header whole; otherwise the merged many-version is raised to T
//   component by component and, with F, the merged version becomes the list's version.
// - Entry E: dropped unless T covers E's modification many-version and that covers its creation
//   many-version. When a previous entry P has E's name, one of them is kept: with F, P when M covers
//   E's modification many-version and T does not cover P's, else E; without F, P when either holds,
//   else E. Without such a P, E is dropped when M covers its modification many-version and differs
//   from it.
// - End: the kept entries of the last list sorted by name (stable, byte order), then every previous
//   entry whose name none of them has.
//
// More than kMaximumFileListEntries entries offered in all throws TooManyFileListEntries. The target
// is not owned. One thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/file_list.h"

class FileListMerger : public FileListReceiver {
  public:
    // Forgets every list; the merged list will go to `target`.
    void Reset(FileListReceiver& target);

    void Header(const FileListHeader& header) override;
    void Entry(FileListEntry entry) override;
    void End() override;

  private:
    // The previous entry of that name, or null.
    const FileListEntry* FindPrevious(const FileListEntry& entry) const;
    // The current entries sorted by name, then the previous entries of other names; both emptied.
    std::vector<FileListEntry> TakeKeptEntries();

    FileListReceiver* m_target = nullptr;
    FileListHeader m_merged;
    ManyVersionList m_mergedBefore{};
    ManyVersionList m_listVersions{};
    bool m_newer = false;
    std::vector<FileListEntry> m_previous;
    std::vector<FileListEntry> m_current;
    std::uint64_t m_offered = 0;
};
