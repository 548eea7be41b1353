#include "platform/registry_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "base/critical_log.h"
#include "platform/file_system.h"
#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

constexpr const char* kDefaultRegistryFolder = "/var/lib/veltra/registry";
constexpr mode_t kFolderMode = 0750;
constexpr mode_t kNewHiveMode = 0640;
// A hive is a few kilobytes of settings; a file past this size is refused rather than read.
constexpr off_t kHiveFileSizeLimit = 64 << 20;
constexpr std::size_t kTemporarySuffixLength = 6;  // mkostemp's "XXXXXX"

// A temporary file that is removed unless it was renamed into place.
class TemporaryFile {
  public:
    TemporaryFile(std::string path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    ~TemporaryFile() {
        if (!m_renamed) ::unlink(m_path.c_str());
    }
    FileDescriptor& Fd() { return m_fd; }
    int RenameTo(const std::string& target) {
        if (::rename(m_path.c_str(), target.c_str()) != 0) return errno;
        m_renamed = true;
        return 0;
    }

  private:
    std::string m_path;
    FileDescriptor m_fd;
    bool m_renamed = false;
};

// Creates the folder and any missing parent with kFolderMode.
int EnsureFolder(const std::string& folder) {
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), kFolderMode) != 0 && errno != EEXIST) return errno;
        if (end == std::string::npos) return 0;
    }
}

int LockExclusively(int fd) {
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) return errno;
    return 0;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

void ReportUnparsableHive(const std::string& path, const std::string& failure) {
    if (CriticalLogEnabled())
        WriteCriticalLog("Registry hive " + path + " cannot be parsed (" + failure +
                         "); it is left as it is and not written");
}

}  // namespace

std::string RegistryFolder() {
    const char* folder = std::getenv("VELTRA_REGISTRY_DIR");
    return folder && *folder ? folder : kDefaultRegistryFolder;
}

std::shared_ptr<RegistryHive> RegistryHive::Of(RegistryRoot root) {
    static std::mutex lock;
    static auto* hives = new std::map<std::string, std::shared_ptr<RegistryHive>>;
    std::string folder = RegistryFolder();
    std::string fileName =
        root == RegistryRoot::LocalMachine ? "HKLM.reg" : "HKCU-" + std::to_string(::getuid()) + ".reg";
    std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<RegistryHive>& hive = (*hives)[folder + "/" + fileName];
    if (!hive) hive = std::make_shared<RegistryHive>(folder, fileName, root);
    return hive;
}

RegistryHive::RegistryHive(std::string folder, std::string fileName, RegistryRoot root)
    : m_folder(std::move(folder)),
      m_fileName(std::move(fileName)),
      m_path(m_folder + "/" + m_fileName),
      m_root(root) {}

RegistryHive::FileStamp RegistryHive::StampOf(const struct stat& status) {
    return FileStamp{true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool RegistryHive::FileStamp::operator==(const FileStamp& other) const {
    if (exists != other.exists) return false;
    return !exists || (device == other.device && inode == other.inode && size == other.size &&
                       SameTime(modified, other.modified) && SameTime(changed, other.changed));
}

int RegistryHive::Read(std::shared_ptr<const RegistryKeyNode>& tree) {
    std::lock_guard<std::mutex> guard(m_cacheLock);
    int result = Refresh();
    if (result == kRegistryHiveUnparsable && m_tree) result = 0;
    if (result == 0) tree = m_tree;
    return result;
}

std::string RegistryHive::ParseFailure() const {
    std::lock_guard<std::mutex> guard(m_cacheLock);
    return m_failure;
}

// Brings the cache up to the file; called with m_cacheLock held. The file a tree was read from is
// kept open, so that its inode cannot be reused by a later file: a stat that finds the same device,
// inode, size and times is then the same file, unchanged, however quickly it was replaced. Returns
// kRegistryHiveUnparsable when the file as it is now does not parse (m_tree then still holds the last good
// tree).
int RegistryHive::Refresh() {
    struct stat status;
    FileStamp stamp;
    if (::stat(m_path.c_str(), &status) == 0) {
        stamp = StampOf(status);
    } else if (errno != ENOENT) {
        return errno;
    }
    if (m_tree && stamp == m_stamp) return 0;
    if (!m_failure.empty() && stamp == m_failedStamp) return kRegistryHiveUnparsable;
    return LoadFile(stamp);
}

int RegistryHive::LoadFile(FileStamp stamp) {
    if (!stamp.exists) {
        m_tree = std::make_shared<const RegistryKeyNode>(RegistryRootName(m_root));
        m_stamp = stamp;
        m_file = FileDescriptor();
        m_failure.clear();
        return 0;
    }
    FileDescriptor fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    // The stamp is taken from the descriptor that is read, so that a file replaced since the stat is
    // not cached under the old file's stamp.
    struct stat status;
    if (::fstat(fd.Get(), &status) != 0) return errno;
    stamp = StampOf(status);
    std::string failure;
    if (!S_ISREG(status.st_mode)) {
        failure = "not a regular file";
    } else if (status.st_size > kHiveFileSizeLimit) {
        failure = "larger than " + std::to_string(kHiveFileSizeLimit >> 20) + " MiB";
    } else {
        std::string text;
        if (int result = ReadAll(fd.Get(), static_cast<std::size_t>(status.st_size), text)) return result;
        try {
            m_tree = std::make_shared<const RegistryKeyNode>(ParseRegistryHiveText(text, m_root));
            m_stamp = stamp;
            m_file = std::move(fd);
            m_failure.clear();
            return 0;
        } catch (const RegistryTextError& error) {
            failure = error.what();
        }
    }
    m_failedStamp = stamp;
    m_failedFile = std::move(fd);
    m_failure = failure;
    ReportUnparsableHive(m_path, failure);
    return kRegistryHiveUnparsable;
}

int RegistryHive::Update(const Change& change) {
    std::lock_guard<std::mutex> writer(m_writeLock);
    if (int result = EnsureFolder(m_folder)) return result;
    FileDescriptor lock(::open((m_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewHiveMode));
    if (lock.Get() < 0) return errno;
    if (int result = LockExclusively(lock.Get())) return result;
    RemoveAbandonedTemporaries();

    std::shared_ptr<const RegistryKeyNode> current;
    {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        if (int result = Refresh()) return result;
        current = m_tree;
    }
    RegistryKeyNode changed(*current);
    int result = change(changed);
    if (result == kRegistryNothingToWrite) return 0;
    if (result != 0) return result;
    return WriteReplacing(std::move(changed));
}

std::string RegistryHive::TemporaryPrefix() const {
    return "veltra-" + m_fileName + ".";
}

// Temporary files are made only under the hive lock, so one found while holding it was left by a
// writer that died before its rename.
void RegistryHive::RemoveAbandonedTemporaries() const {
    DIR* folder = ::opendir(m_folder.c_str());
    if (!folder) return;
    std::string prefix = TemporaryPrefix();
    while (const dirent* entry = ::readdir(folder)) {
        std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix))
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

// Called under the hive lock.
int RegistryHive::WriteReplacing(RegistryKeyNode&& tree) {
    std::string text = RegistryTextHeader();
    AppendRegistryText(text, tree, m_root, {});

    std::string temporaryPath = m_folder + "/" + TemporaryPrefix() + std::string(kTemporarySuffixLength, 'X');
    int fd = ::mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    TemporaryFile temporary(temporaryPath, fd);

    // The new file keeps the old one's permissions and, when root edits the hive of a service
    // account, its owner.
    struct stat old;
    if (::stat(m_path.c_str(), &old) == 0) {
        if (::fchmod(fd, old.st_mode & 07777) != 0) return errno;
        if (::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0) return errno;
    } else if (::fchmod(fd, kNewHiveMode) != 0) {
        return errno;
    }
    if (int result = WriteAll(fd, text)) return result;
    if (::fsync(fd) != 0) return errno;
    try {
        temporary.Fd().Close();
    } catch (const Posix::Error& error) {
        return error.Code();
    }
    if (int result = temporary.RenameTo(m_path)) return result;
    // The new hive is in place and its contents are on disk; a folder that cannot be synced only
    // leaves the rename to the file system's own schedule, so it does not fail the write. The rename
    // must reach the disk too, or a crash could bring the old hive back.
    SyncPath(FileLocation(m_folder.c_str()));

    // Nobody else replaces the hive while the lock is held, so the file opened now is the one written.
    FileDescriptor written(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status;
    if (written.IsValid() && ::fstat(written.Get(), &status) == 0) {
        std::lock_guard<std::mutex> guard(m_cacheLock);
        m_tree = std::make_shared<const RegistryKeyNode>(std::move(tree));
        m_stamp = StampOf(status);
        m_file = std::move(written);
        m_failure.clear();
    }
    return 0;
}

}  // namespace PosixPlatform
