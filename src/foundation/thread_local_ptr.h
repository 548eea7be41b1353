// ThreadLocalPtr<T>: a pointer with one value per thread, each value owned by its thread.
//
// Set gives the calling thread's value (the previous one is deleted, unless it is the same pointer);
// Dispose deletes it. When a thread ends, its value is deleted on that thread. Destroying the
// ThreadLocalPtr deletes the destroying thread's value; build it before the threads that use it and
// destroy it after they have ended (a process-wide object is the usual shape).
#pragma once

#include "platform/native_thread.h"

template <class T>
class ThreadLocalPtr {
  public:
    ThreadLocalPtr() : m_key(&DeleteValue) {}
    ThreadLocalPtr(const ThreadLocalPtr&) = delete;
    ThreadLocalPtr& operator=(const ThreadLocalPtr&) = delete;
    ~ThreadLocalPtr() { Dispose(); }

    // The calling thread's value, null until Set.
    T* Get() const { return static_cast<T*>(m_key.Get()); }
    // Takes ownership of `value` for the calling thread.
    void Set(T* value) {
        T* old = Get();
        if (value == old) return;
        m_key.Set(value);
        delete old;
    }
    void Dispose() { Set(nullptr); }

  private:
    static void DeleteValue(void* value) { delete static_cast<T*>(value); }

    PosixPlatform::ThreadLocalKey m_key;
};
