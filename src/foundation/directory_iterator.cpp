#include "foundation/directory_iterator.h"

#include <cstring>
#include <mutex>
#include <set>

#include "base/character_classes.h"
#include "base/critical_log.h"

namespace {

constexpr const char* kAllNames = "*.*";
// Foreign names remembered so that each is logged once; past this many, no more are logged.
constexpr std::size_t kMaximumRememberedForeignNames = 1024;

Byte Folded(char c) {
    return Ascii::LowerCaseTable()[static_cast<Byte>(c)];
}

// Logs, once per process, the path of an entry that cannot be a FileName. A name met while the log is
// off is not remembered, so that it is logged once the log is on.
void NoteForeignName(const FileLocation& directory, const char* name) {
    static std::mutex lock;
    static std::set<std::string> remembered;
    if (!CriticalLogEnabled()) return;
    std::string path = directory.GetPathString() + "/" + name;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (remembered.size() >= kMaximumRememberedForeignNames || !remembered.insert(path).second) return;
    }
    WriteCriticalLog("Skipping a directory entry whose name is not a valid file name: " + path);
}

}  // namespace

// Greedy matching with one back-tracking point: the last "*" seen absorbs one more byte whenever the
// rest fails to match, which is enough for patterns of "*" and "?" and takes O(pattern x name) steps
// at worst.
bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    if (pattern == kAllNames) return true;
    std::size_t p = 0, n = 0;
    std::size_t starAt = std::string_view::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

void DirectoryIterator::Open(const FileLocation& directory, const char* pattern) {
    m_current = DirectoryEntry();
    m_directory = directory;
    m_pattern = pattern ? pattern : kAllNames;
    if (m_listing.Open(directory)) Next();
}

void DirectoryIterator::Next() {
    m_current = DirectoryEntry();
    while (const char* name = m_listing.NextName()) {
        if (!MatchesWildcard(m_pattern, name)) continue;
        if (!IsValidFileName(name)) {
            NoteForeignName(m_directory, name);
            continue;
        }
        PosixPlatform::PathStatus status;
        // An entry removed since it was listed is passed over.
        if (m_listing.LookUp(name, status) != 0) continue;
        m_current = DirectoryEntry(FileLocation(m_directory, FileName(name)), status);
        return;
    }
}
