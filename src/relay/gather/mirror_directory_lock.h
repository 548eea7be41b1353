// MirrorDirectoryLock: the process-wide register of the mirror directories being written, so that a
// site gather and the unpacking of an archived site never write one directory at once. The lock
// does not wait: taking a path that is taken fails at once.
//
// Paths are compared byte by byte ignoring ASCII letter case: "/m/Site" and "/m/site" are one
// entry, while "/m/site/" or a relative form of the same folder are others (callers pass the
// locations they build, which never end in "/").
//
// MirrorDirectoryLockToken is what one activity holds while it works: it unlocks its path when it
// is released or destroyed, and holds nothing after a failed AcquireLock.
//
// Threads: any thread may lock and unlock; the register's own lock is held for each set operation
// only, and no other lock is taken under it. A token is used by one thread at a time.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "base/exceptions.h"

class MirrorDirectoryLock {
  public:
    static MirrorDirectoryLock& Instance();

    // ExceptionPL "MirrorDirectoryLock: Cannot acquire lock... already locked" when the path is taken.
    void Lock(const std::string& path);
    // Frees the path; a path not taken is ignored.
    void Unlock(const std::string& path);

  private:
    struct PathLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    std::mutex m_lock;
    std::set<std::string, PathLess> m_paths;
};

class MirrorDirectoryLockToken {
  public:
    explicit MirrorDirectoryLockToken(MirrorDirectoryLock& locks = MirrorDirectoryLock::Instance())
        : m_locks(locks) {}
    ~MirrorDirectoryLockToken() { Release(); }
    MirrorDirectoryLockToken(const MirrorDirectoryLockToken&) = delete;
    MirrorDirectoryLockToken& operator=(const MirrorDirectoryLockToken&) = delete;

    // Takes the path. ExceptionPL "MirrorDirectoryLockToken: AcquireLock called when it is already
    // locked" when this token holds a path; the register's exception when the path is taken.
    void AcquireLock(const std::string& path);
    // Frees the path held, if any.
    void Release();
    bool IsLocked() const { return m_locked; }

  private:
    MirrorDirectoryLock& m_locks;
    bool m_locked = false;
    std::string m_path;
};
