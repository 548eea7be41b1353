// Mutual exclusion: a recursive critical section and the holders that enter and leave it.
//
// - CriticalSection: a recursive lock. The thread that holds it may enter it again; it is free once
//   that thread has left it as often as it entered.
// - CriticalSectionGuard: enters for the life of a scope.
// - CriticalSectionLock: owns the fact that a section is entered (or nothing); moved, never copied.
//   LockCriticalSection and TryLockCriticalSection make one.
// - LockPL: enters at construction; its copies share the hold, and the last copy to die leaves.
//
// Every holder must die on the thread that entered the section. A holder guards one object for the
// shortest span that the work needs and is never kept across a wait.
//
// New code locks with std::mutex, or keeps a value that threads share in a Guarded<T>
// (locked_object.h), whose type shows what the lock guards; a bare CriticalSection is for a lock that
// the thread holding it must be able to take again.
#pragma once

#include <memory>
#include <mutex>

class CriticalSection {
  public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { m_mutex.lock(); }
    // Enters when no other thread holds the section, without blocking; true when entered.
    bool TryEnter() { return m_mutex.try_lock(); }
    void Leave() { m_mutex.unlock(); }

  private:
    std::recursive_mutex m_mutex;
};

class CriticalSectionGuard {
  public:
    explicit CriticalSectionGuard(CriticalSection& section) : m_section(section) { m_section.Enter(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;
    ~CriticalSectionGuard() { m_section.Leave(); }

  private:
    CriticalSection& m_section;
};

class CriticalSectionLock {
  public:
    CriticalSectionLock() = default;
    // Takes over a section that the calling thread has already entered.
    explicit CriticalSectionLock(CriticalSection* entered) : m_section(entered) {}
    CriticalSectionLock(CriticalSectionLock&& other) noexcept : m_section(other.m_section) {
        other.m_section = nullptr;
    }
    CriticalSectionLock& operator=(CriticalSectionLock&& other) noexcept;
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
    ~CriticalSectionLock() { LeaveIfHeld(); }

    bool IsHeld() const { return m_section != nullptr; }
    explicit operator bool() const { return IsHeld(); }

  private:
    void LeaveIfHeld();

    CriticalSection* m_section = nullptr;
};

// Enters the section (blocking) and returns the hold.
CriticalSectionLock LockCriticalSection(CriticalSection& section);
// Enters the section only when that does not block; otherwise returns an empty lock.
CriticalSectionLock TryLockCriticalSection(CriticalSection& section);

class LockPL {
  public:
    explicit LockPL(CriticalSection& section)
        : m_hold(std::make_shared<CriticalSectionLock>(LockCriticalSection(section))) {}

  private:
    std::shared_ptr<CriticalSectionLock> m_hold;
};
