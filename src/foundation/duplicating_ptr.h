// DuplicatingPtr<T>: owns one heap T (or nothing) and copies by duplicating it, so a class can hold a
// polymorphic or large member by pointer and stay an ordinary copyable value. Not thread-safe.
#pragma once

#include <memory>

template <class T>
class DuplicatingPtr {
  public:
    DuplicatingPtr() = default;
    explicit DuplicatingPtr(std::unique_ptr<T> value) : m_value(std::move(value)) {}
    DuplicatingPtr(const DuplicatingPtr& other)
        : m_value(other.m_value ? std::make_unique<T>(*other.m_value) : nullptr) {}
    DuplicatingPtr(DuplicatingPtr&&) noexcept = default;
    DuplicatingPtr& operator=(const DuplicatingPtr& other) {
        if (this != &other) m_value = other.m_value ? std::make_unique<T>(*other.m_value) : nullptr;
        return *this;
    }
    DuplicatingPtr& operator=(DuplicatingPtr&&) noexcept = default;

    T* get() const { return m_value.get(); }
    T& operator*() const { return *m_value; }
    T* operator->() const { return m_value.get(); }
    explicit operator bool() const { return m_value != nullptr; }

  private:
    std::unique_ptr<T> m_value;
};
