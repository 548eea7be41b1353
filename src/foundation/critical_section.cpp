#include "foundation/critical_section.h"

CriticalSectionLock& CriticalSectionLock::operator=(CriticalSectionLock&& other) noexcept {
    if (this != &other) {
        LeaveIfHeld();
        m_section = other.m_section;
        other.m_section = nullptr;
    }
    return *this;
}

void CriticalSectionLock::LeaveIfHeld() {
    if (m_section != nullptr) m_section->Leave();
    m_section = nullptr;
}

CriticalSectionLock LockCriticalSection(CriticalSection& section) {
    section.Enter();
    return CriticalSectionLock(&section);
}

CriticalSectionLock TryLockCriticalSection(CriticalSection& section) {
    return CriticalSectionLock(section.TryEnter() ? &section : nullptr);
}
