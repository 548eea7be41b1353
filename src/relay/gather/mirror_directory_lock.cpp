#include "relay/gather/mirror_directory_lock.h"

#include "base/character_classes.h"

MirrorDirectoryLock& MirrorDirectoryLock::Instance() {
    static MirrorDirectoryLock locks;
    return locks;
}

bool MirrorDirectoryLock::PathLess::operator()(const std::string& a, const std::string& b) const {
    return Ascii::CompareIgnoringCase(ConstData(std::string_view(a)), ConstData(std::string_view(b))) < 0;
}

void MirrorDirectoryLock::Lock(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_paths.insert(path).second) throw ExceptionPL("MirrorDirectoryLock: Cannot acquire lock... already locked");
}

void MirrorDirectoryLock::Unlock(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_paths.erase(path);
}

void MirrorDirectoryLockToken::AcquireLock(const std::string& path) {
    if (m_locked) throw ExceptionPL("MirrorDirectoryLockToken: AcquireLock called when it is already locked");
    m_locks.Lock(path);
    m_path = path;
    m_locked = true;
}

void MirrorDirectoryLockToken::Release() {
    if (!m_locked) return;
    m_locks.Unlock(m_path);
    m_locked = false;
}
