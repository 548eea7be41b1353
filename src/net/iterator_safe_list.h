// A doubly linked list that owns its elements and whose iterators survive removals.
//
// Removing the element an iterator stands on moves that iterator to the next element (to the end
// when there is none); pushing an element at the front makes every iterator that stood at the end
// point at it. An element knows the list it is in, so it can take itself out (Unlink). Elements
// derive from IteratorSafeListElement; a copy of an element is in no list.
//
// Not thread-safe; iterators must not outlive their list's use (a destroyed list leaves its
// iterators at the end).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class IteratorSafeListBase;

class IteratorSafeListElement {
  public:
    IteratorSafeListElement() = default;
    IteratorSafeListElement(const IteratorSafeListElement&) {}
    IteratorSafeListElement& operator=(const IteratorSafeListElement&) { return *this; }
    virtual ~IteratorSafeListElement();

    bool IsListed() const { return m_list != nullptr; }
    // Takes the element out of its list and hands it to the caller; nothing (null) when it is in no
    // list.
    std::unique_ptr<IteratorSafeListElement> Unlink();

  private:
    friend class IteratorSafeListBase;
    IteratorSafeListBase* m_list = nullptr;
    IteratorSafeListElement* m_previous = nullptr;
    IteratorSafeListElement* m_next = nullptr;
};

// The type-independent part of IteratorSafeList.
class IteratorSafeListBase {
  public:
    IteratorSafeListBase() = default;
    IteratorSafeListBase(const IteratorSafeListBase&) = delete;
    IteratorSafeListBase& operator=(const IteratorSafeListBase&) = delete;

    std::size_t Count() const { return m_count; }
    // Removes and destroys every element.
    void Clear();

  protected:
    class IteratorBase {
      public:
        bool AtEnd() const { return m_current == nullptr; }
        void Next();

      protected:
        explicit IteratorBase(IteratorSafeListBase* list);
        IteratorBase(const IteratorBase& other);
        IteratorBase& operator=(const IteratorBase& other);
        ~IteratorBase();

        IteratorSafeListElement* m_current = nullptr;

      private:
        friend class IteratorSafeListBase;
        IteratorSafeListBase* m_list;
    };

    ~IteratorSafeListBase();
    void PushFrontElement(std::unique_ptr<IteratorSafeListElement> element);
    std::unique_ptr<IteratorSafeListElement> RemoveElement(IteratorSafeListElement& element);

  private:
    friend class IteratorSafeListElement;

    IteratorSafeListElement* m_head = nullptr;
    std::size_t m_count = 0;
    std::vector<IteratorBase*> m_iterators;
};

template <class T>
class IteratorSafeList : public IteratorSafeListBase {
  public:
    class Iterator : public IteratorBase {
      public:
        T& operator*() const { return static_cast<T&>(*m_current); }
        T* operator->() const { return static_cast<T*>(m_current); }

      private:
        friend class IteratorSafeList;
        using IteratorBase::IteratorBase;
    };

    IteratorSafeList() = default;
    ~IteratorSafeList() { Clear(); }

    void PushFront(std::unique_ptr<T> element) { PushFrontElement(std::move(element)); }
    // Takes the element, which must be in this list, out and hands it to the caller.
    std::unique_ptr<T> Remove(T& element) {
        return std::unique_ptr<T>(static_cast<T*>(RemoveElement(element).release()));
    }
    // An iterator at the first element (at the end for an empty list).
    Iterator Begin() { return Iterator(this); }
};
