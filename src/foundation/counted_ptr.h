// Shared ownership through an atomic reference count.
//
// SharedCount is a handle on a heap count: making one creates the count at 1, copying a handle adds
// one, releasing or destroying a handle subtracts one, and the count is freed when it reaches zero.
// CountedPtr<T> pairs an owned object with a SharedCount and deletes the object, through its virtual
// destructor if it has one, when the last CountedPtr sharing it is released; CountedBuffer does the
// same for a byte buffer.
//
// Thread-safety: handles sharing one count may be copied, released and destroyed on different threads
// at once (each handle itself is used by one thread at a time). The shared object is not guarded.
//
// GuardedCount is a count with the critical section that guards it, read and changed through
// LockObject (the running requests of the HTTP server and its plug-ins).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/const_data.h"
#include "foundation/locked_object.h"

class SharedCount {
  public:
    SharedCount() : m_count(new std::atomic<std::int32_t>(1)) {}
    SharedCount(const SharedCount& other) : m_count(other.m_count) {
        if (m_count) m_count->fetch_add(1, std::memory_order_relaxed);
    }
    SharedCount& operator=(const SharedCount& other) {
        SharedCount copy(other);
        Swap(copy);
        return *this;
    }
    ~SharedCount() { Release(); }

    // Drops this handle's share and leaves the handle empty. True when it was the last share: the
    // count is freed and the caller frees what the count guarded.
    bool Release();
    // True when this handle holds the only share.
    bool IsUnique() const { return m_count && m_count->load(std::memory_order_acquire) == 1; }
    void Swap(SharedCount& other) noexcept { std::swap(m_count, other.m_count); }

  private:
    std::atomic<std::int32_t>* m_count;
};

template <class T>
class CountedPtr {
  public:
    CountedPtr() = default;
    explicit CountedPtr(std::unique_ptr<T> object) : m_object(object.release()) {}
    CountedPtr(const CountedPtr&) = default;
    CountedPtr& operator=(CountedPtr other) {
        std::swap(m_object, other.m_object);
        m_count.Swap(other.m_count);
        return *this;
    }
    ~CountedPtr() {
        // The one release that takes the count to zero deletes: testing for uniqueness first and
        // releasing afterwards would let two last holders on two threads both skip the delete.
        if (m_count.Release()) delete m_object;
    }

    T* get() const { return m_object; }
    T& operator*() const { return *m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool IsUnique() const { return m_count.IsUnique(); }

  private:
    T* m_object = nullptr;
    SharedCount m_count;
};

// A byte buffer shared by reference count; the last holder frees it.
using CountedBuffer = CountedPtr<std::vector<Byte>>;

using GuardedCount = Guarded<std::int32_t>;
