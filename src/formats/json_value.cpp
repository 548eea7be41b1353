#include "formats/json_value.h"

#include <cstring>

void JSONValue::AddValue(SharingPtr<JSONValue>) {
    throw CannotAddJSONValue();
}

void JSONValue::AddPair(CopiedUString<UTF8>, SharingPtr<JSONValue>) {
    throw CannotAddJSONPair();
}

// Letting a container's destructor release its children one by one would recurse once per nesting
// level, and a hostile document of a few hundred kilobytes nests deep enough to overflow a thread's
// stack. Instead, before a child that nobody else holds is released, its own children are moved into
// the work list, so every container dies empty and the depth of the stack stays constant.
void JSONValue::ReleaseChildren(std::vector<SharingPtr<JSONValue>> children) {
    while (!children.empty()) {
        SharingPtr<JSONValue> child = std::move(children.back());
        children.pop_back();
        if (child && child.use_count() == 1) child->MoveChildrenInto(children);
    }
}

void JSONNull::Accept(JSONVisitor& visitor) {
    visitor.VisitNull(this);
}
void JSONBool::Accept(JSONVisitor& visitor) {
    visitor.VisitBool(this);
}
void JSONInteger::Accept(JSONVisitor& visitor) {
    visitor.VisitInteger(this);
}
void JSONFloat::Accept(JSONVisitor& visitor) {
    visitor.VisitFloat(this);
}
void JSONString::Accept(JSONVisitor& visitor) {
    visitor.VisitString(this);
}

JSONArray::~JSONArray() {
    ReleaseChildren(std::move(m_items));
}

void JSONArray::Accept(JSONVisitor& visitor) {
    visitor.VisitArray(this);
}

void JSONArray::AddValue(SharingPtr<JSONValue> value) {
    m_items.push_back(std::move(value));
}

void JSONArray::MoveChildrenInto(std::vector<SharingPtr<JSONValue>>& into) {
    for (auto& item : m_items) into.push_back(std::move(item));
    m_items.clear();
}

JSONObject::~JSONObject() {
    std::vector<SharingPtr<JSONValue>> children;
    MoveChildrenInto(children);
    ReleaseChildren(std::move(children));
}

void JSONObject::Accept(JSONVisitor& visitor) {
    visitor.VisitObject(this);
}

void JSONObject::AddPair(CopiedUString<UTF8> name, SharingPtr<JSONValue> value) {
    m_members.insert_or_assign(std::move(name), std::move(value));
}

const SharingPtr<JSONValue>& JSONObject::GetMember(std::string_view name) const {
    auto found = m_members.find(name);
    if (found == m_members.end()) throw NoSuchJSONValue();
    return found->second;
}

void JSONObject::MoveChildrenInto(std::vector<SharingPtr<JSONValue>>& into) {
    for (auto& member : m_members) into.push_back(std::move(member.second));
    m_members.clear();
}

namespace {

template <class T>
T* GetAs(JSONValue& value) {
    JSONValueGetter<T> getter;
    value.Accept(getter);
    return getter.result;
}

template <class T>
T& RequireAs(JSONValue& value) {
    T* result = GetAs<T>(value);
    if (!result) throw JSONTypeMismatch();
    return *result;
}

}  // namespace

JSONBool* GetJSONBool(JSONValue& value) {
    return GetAs<JSONBool>(value);
}

bool JSONAsBool(JSONValue& value) {
    return RequireAs<JSONBool>(value).Value();
}

std::int64_t JSONAsInteger(JSONValue& value) {
    return RequireAs<JSONInteger>(value).Value();
}

JSONString* GetJSONString(JSONValue& value) {
    return GetAs<JSONString>(value);
}

ConstData JSONStringAsBytes(JSONValue& value) {
    const std::string& text = RequireAs<JSONString>(value).Value();
    return ConstData(text.data(), std::strlen(text.c_str()));
}

CopiedUString<UTF8> JSONStringCopy(JSONValue& value) {
    return RequireAs<JSONString>(value).Value();
}

JSONObject& GetJSONObject(JSONValue& value) {
    return RequireAs<JSONObject>(value);
}

JSONArray& GetJSONArray(JSONValue& value) {
    return RequireAs<JSONArray>(value);
}
