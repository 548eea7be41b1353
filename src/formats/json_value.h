// JSON documents in memory: a tree of shared, reference-counted values.
//
// A value is one of JSONNull, JSONBool, JSONInteger (signed 64-bit), JSONFloat, JSONString (UTF-8
// bytes, NUL bytes allowed), JSONArray (values in order) and JSONObject (members ordered by the
// unsigned bytes of their names, a name that is a proper prefix of another first). Values are owned
// through SharingPtr; containers share ownership of their children, so a sub-tree may outlive its
// parent. A value does not change once built, except through AddValue on an array and AddPair on an
// object.
//
// Reading goes through a JSONVisitor or the typed accessors below, which throw JSONTypeMismatch when
// a value has another type; there is no conversion between integers, floats and booleans.
//
// Destroying a tree does not recurse, so a deeply nested document cannot exhaust the stack of the
// thread that releases it. A tree may be read by several threads at once; changing it needs the
// owner's own lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "formats/text_encodings.h"

template <class T>
using SharingPtr = std::shared_ptr<T>;

// A typed accessor found a value of another type.
class JSONTypeMismatch : public DebuggableException {};
// An object has no member of the name asked for.
class NoSuchJSONValue : public DebuggableException {};
// A JSONValueMaker was asked for a value it does not have.
class NoJSONValue : public DebuggableException {};
// Text that is not valid JSON.
class InvalidJSON : public DebuggableException {};

class JSONVisitor;

class JSONValue {
  public:
    // AddValue on anything but an array, AddPair on anything but an object.
    class CannotAddJSONValue : public DebuggableException {};
    class CannotAddJSONPair : public DebuggableException {};

    virtual ~JSONValue() = default;
    // Calls the visitor's operation for this value's type, passing this value.
    virtual void Accept(JSONVisitor& visitor) = 0;
    virtual bool IsNull() const { return false; }
    virtual bool IsObject() const { return false; }
    virtual void AddValue(SharingPtr<JSONValue> value);
    virtual void AddPair(CopiedUString<UTF8> name, SharingPtr<JSONValue> value);

  protected:
    // Releases the given children and, without recursion, every descendant that nothing else shares.
    static void ReleaseChildren(std::vector<SharingPtr<JSONValue>> children);

  private:
    // Moves this container's children into `into`, leaving it empty.
    virtual void MoveChildrenInto(std::vector<SharingPtr<JSONValue>>& into) {}
};

class JSONNull final : public JSONValue {
  public:
    void Accept(JSONVisitor& visitor) override;
    bool IsNull() const override { return true; }
};

class JSONBool final : public JSONValue {
  public:
    explicit JSONBool(bool value) : m_value(value) {}
    void Accept(JSONVisitor& visitor) override;
    bool Value() const { return m_value; }

  private:
    bool m_value;
};

class JSONInteger final : public JSONValue {
  public:
    explicit JSONInteger(std::int64_t value) : m_value(value) {}
    void Accept(JSONVisitor& visitor) override;
    std::int64_t Value() const { return m_value; }

  private:
    std::int64_t m_value;
};

class JSONFloat final : public JSONValue {
  public:
    explicit JSONFloat(double value) : m_value(value) {}
    void Accept(JSONVisitor& visitor) override;
    double Value() const { return m_value; }

  private:
    double m_value;
};

class JSONString final : public JSONValue {
  public:
    // Takes the text over without copying it.
    explicit JSONString(CopiedUString<UTF8> value) : m_value(std::move(value)) {}
    void Accept(JSONVisitor& visitor) override;
    // The whole text, NUL bytes included.
    const CopiedUString<UTF8>& Value() const { return m_value; }

  private:
    CopiedUString<UTF8> m_value;
};

class JSONArray final : public JSONValue {
  public:
    using Items = std::vector<SharingPtr<JSONValue>>;

    JSONArray() = default;
    ~JSONArray() override;
    void Accept(JSONVisitor& visitor) override;
    // Appends the value, sharing its ownership.
    void AddValue(SharingPtr<JSONValue> value) override;
    const Items& GetItems() const { return m_items; }

  private:
    void MoveChildrenInto(std::vector<SharingPtr<JSONValue>>& into) override;

    Items m_items;
};

class JSONObject final : public JSONValue {
  public:
    // std::string compares its bytes as unsigned values, so this is the member order described above.
    using Members = std::map<CopiedUString<UTF8>, SharingPtr<JSONValue>, std::less<>>;

    JSONObject() = default;
    ~JSONObject() override;
    void Accept(JSONVisitor& visitor) override;
    bool IsObject() const override { return true; }
    // Inserts the member, or replaces the value of the member of that name.
    void AddPair(CopiedUString<UTF8> name, SharingPtr<JSONValue> value) override;
    const Members& GetMembers() const { return m_members; }
    // The value of the member of that name; NoSuchJSONValue when there is none.
    const SharingPtr<JSONValue>& GetMember(std::string_view name) const;

  private:
    void MoveChildrenInto(std::vector<SharingPtr<JSONValue>>& into) override;

    Members m_members;
};

// Visits values by type; every operation does nothing unless overridden. The pointer passed is valid
// while the caller holds the value.
class JSONVisitor {
  public:
    virtual ~JSONVisitor() = default;
    virtual void VisitObject(JSONObject* value) {}
    virtual void VisitArray(JSONArray* value) {}
    virtual void VisitNull(JSONNull* value) {}
    virtual void VisitBool(JSONBool* value) {}
    virtual void VisitFloat(JSONFloat* value) {}
    virtual void VisitInteger(JSONInteger* value) {}
    virtual void VisitString(JSONString* value) {}
};

// Finds out whether a value is a T: after value.Accept(getter), `result` points at it, or is null.
template <class T>
class JSONValueGetter : public JSONVisitor {
  public:
    T* result = nullptr;

    void VisitObject(JSONObject* value) override { Keep(value); }
    void VisitArray(JSONArray* value) override { Keep(value); }
    void VisitBool(JSONBool* value) override { Keep(value); }
    void VisitInteger(JSONInteger* value) override { Keep(value); }
    void VisitString(JSONString* value) override { Keep(value); }

  private:
    template <class V>
    void Keep(V* value) {
        if constexpr (std::is_same_v<T, V>) result = value;
    }
};

// Typed access. The Get... forms that return a pointer give null for another type; all others throw
// JSONTypeMismatch.
JSONBool* GetJSONBool(JSONValue& value);
bool JSONAsBool(JSONValue& value);
std::int64_t JSONAsInteger(JSONValue& value);
JSONString* GetJSONString(JSONValue& value);
// The string's bytes up to its first NUL byte; valid while the value lives.
ConstData JSONStringAsBytes(JSONValue& value);
// A copy of the whole string, NUL bytes included.
CopiedUString<UTF8> JSONStringCopy(JSONValue& value);
JSONObject& GetJSONObject(JSONValue& value);
JSONArray& GetJSONArray(JSONValue& value);
