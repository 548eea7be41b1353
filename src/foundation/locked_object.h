// Objects that carry their own critical section, and the holder through which they are read and
// written.
//
// A Guarded<T> is a value and the section that guards it. LockObject(guarded) enters that section
// and returns a LockedObject, through which the value is used while the holder lives; the section is
// left when the holder dies. A second form locks an object whose section lives elsewhere inside its
// owner. Holders live for the shortest span (read or write one value) and never across a wait.
#pragma once

#include <utility>

#include "foundation/critical_section.h"

template <class T>
struct Guarded {
    T value{};
    CriticalSection section;
};

template <class T>
class LockedObject {
  public:
    LockedObject(T& object, CriticalSectionLock lock) : m_object(&object), m_lock(std::move(lock)) {}

    T& operator*() const { return *m_object; }
    T* operator->() const { return m_object; }

  private:
    T* m_object;
    CriticalSectionLock m_lock;
};

template <class T>
LockedObject<T> LockObject(Guarded<T>& guarded) {
    return LockedObject<T>(guarded.value, LockCriticalSection(guarded.section));
}

template <class T>
LockedObject<T> LockObject(T& object, CriticalSection& section) {
    return LockedObject<T>(object, LockCriticalSection(section));
}
