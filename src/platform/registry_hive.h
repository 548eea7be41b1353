// One hive of the registry: a REGEDIT4 file (see regedit4_format.h) and its parsed cache.
//
// The hives live in the registry folder, $VELTRA_REGISTRY_DIR when it is set and not empty, else
// /var/lib/veltra/registry (created with mode 0750 by the first write): "HKLM.reg" is the machine
// hive, "HKCU-<uid>.reg" the user hive. A missing file is an empty hive.
//
// Reading takes no file lock. The parsed tree is kept and parsed again only when the file's identity,
// size or change times differ, so changes made by other processes are seen at the next read.
//
// Writing is a transaction: under flock on the sidecar "<hive>.lock" the current file is read again
// when it changed, a copy of its tree is handed to the change, and the changed tree is written to a
// temporary file in the same folder, fsync'ed and renamed over the hive. A crash never leaves a torn
// hive, and writers in different processes never lose each other's updates.
//
// A hive file that cannot be parsed (edited by hand, say) is never overwritten: the failure is logged
// once, reads go on with the last good tree, and every write fails until the file is mended.
//
// Thread-safety: every member may be called from any thread. A change function runs under the
// hive's locks and must not call the registry itself.
#pragma once

#include <sys/stat.h>
#include <cerrno>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/file_descriptor.h"
#include "platform/regedit4_format.h"
#include "platform/registry_tree.h"

namespace PosixPlatform {

// Result code of a hive whose file cannot be parsed.
inline constexpr int kRegistryHiveUnparsable = EBADMSG;
// What a change returns when it finds nothing to change: the transaction succeeds and writes nothing.
inline constexpr int kRegistryNothingToWrite = -1;

// "/var/lib/veltra/registry" or $VELTRA_REGISTRY_DIR.
std::string RegistryFolder();

class RegistryHive {
  public:
    // The hive of `root` in the registry folder as it is named now; one object per file for the life
    // of the process.
    static std::shared_ptr<RegistryHive> Of(RegistryRoot root);

    RegistryHive(std::string folder, std::string fileName, RegistryRoot root);
    RegistryHive(const RegistryHive&) = delete;
    RegistryHive& operator=(const RegistryHive&) = delete;

    RegistryRoot Root() const { return m_root; }
    const std::string& Path() const { return m_path; }

    // The tree as the file holds it now. Returns 0, kRegistryHiveUnparsable when the file has never
    // parsed, or the errno of a failed file call. A file that stopped parsing gives the last good tree.
    int Read(std::shared_ptr<const RegistryKeyNode>& tree);

    // Runs `change` on a copy of the current tree under the write lock and, when it returns 0, replaces
    // the file with the changed tree. Returns 0 also when the change returns kRegistryNothingToWrite,
    // the change's own other code (nothing is written), kRegistryHiveUnparsable, or the errno of a
    // failed file call (the hive file is then unchanged).
    using Change = std::function<int(RegistryKeyNode& hive)>;
    int Update(const Change& change);

    // Why the file last failed to parse ("line 3: ..."); empty while it parses.
    std::string ParseFailure() const;

  private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileStamp& other) const;
    };

    static FileStamp StampOf(const struct stat& status);
    int Refresh();
    int LoadFile(FileStamp stamp);
    int WriteReplacing(RegistryKeyNode&& tree);
    void RemoveAbandonedTemporaries() const;
    std::string TemporaryPrefix() const;

    const std::string m_folder;
    const std::string m_fileName;
    const std::string m_path;
    const RegistryRoot m_root;

    std::mutex m_writeLock;          // one writer of this process at a time; taken before m_cacheLock
    mutable std::mutex m_cacheLock;  // guards the members below
    std::shared_ptr<const RegistryKeyNode> m_tree;  // the last good tree; null before the first load
    FileStamp m_stamp;                              // the file m_tree was read from
    FileDescriptor m_file;                          // that file, held open
    FileStamp m_failedStamp;                        // the file that last failed to parse
    FileDescriptor m_failedFile;                    // that file, held open
    std::string m_failure;                          // why it failed; empty while the file parses
};

}  // namespace PosixPlatform
