#include "formats/json_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/json_parser.h"

using namespace std::string_literals;

namespace {

SharingPtr<JSONValue> Integer(std::int64_t value) {
    return std::make_shared<JSONInteger>(value);
}

std::vector<std::string> MemberNames(const JSONObject& object) {
    std::vector<std::string> names;
    for (const auto& member : object.GetMembers()) names.push_back(member.first);
    return names;
}

}  // namespace

TEST(JSONValue, ObjectMembersAreUniqueAndInByteOrder) {
    JSONObject object;
    for (const char* name : {"b", "a", "ab", "\xC3\xA9", "z", ""}) object.AddPair(name, Integer(1));
    object.AddPair("a", Integer(2));
    EXPECT_EQ(MemberNames(object), (std::vector<std::string>{"", "a", "ab", "b", "z", "\xC3\xA9"}));
    EXPECT_EQ(JSONAsInteger(*object.GetMember("a")), 2);
    EXPECT_THROW(object.GetMember("missing"), NoSuchJSONValue);
}

TEST(JSONValue, OnlyContainersTakeChildren) {
    JSONObject object;
    JSONArray array;
    JSONInteger integer(1);
    EXPECT_THROW(object.AddValue(Integer(1)), JSONValue::CannotAddJSONValue);
    EXPECT_THROW(array.AddPair("a", Integer(1)), JSONValue::CannotAddJSONPair);
    EXPECT_THROW(integer.AddValue(Integer(1)), JSONValue::CannotAddJSONValue);
    EXPECT_THROW(integer.AddPair("a", Integer(1)), JSONValue::CannotAddJSONPair);
    EXPECT_TRUE(object.GetMembers().empty());
    array.AddValue(Integer(3));
    array.AddValue(Integer(4));
    ASSERT_EQ(array.GetItems().size(), 2u);
    EXPECT_EQ(JSONAsInteger(*array.GetItems()[1]), 4);
    EXPECT_STREQ(JSONValue::CannotAddJSONValue().what(), "class JSONValue::CannotAddJSONValue");
}

TEST(JSONValue, TypedAccessNeverConverts) {
    JSONInteger integer(1);
    JSONBool boolean(true);
    JSONFloat number(1.0);
    JSONNull null;
    JSONArray array;
    EXPECT_THROW(JSONAsBool(integer), JSONTypeMismatch);
    EXPECT_THROW(JSONAsInteger(boolean), JSONTypeMismatch);
    EXPECT_THROW(JSONAsInteger(number), JSONTypeMismatch);
    EXPECT_THROW(JSONStringCopy(null), JSONTypeMismatch);
    EXPECT_THROW(GetJSONObject(array), JSONTypeMismatch);
    EXPECT_THROW(GetJSONArray(integer), JSONTypeMismatch);
    EXPECT_EQ(GetJSONBool(integer), nullptr);
    EXPECT_EQ(GetJSONString(integer), nullptr);
    EXPECT_TRUE(JSONAsBool(boolean));
    EXPECT_EQ(GetJSONBool(boolean), &boolean);
    EXPECT_EQ(&GetJSONArray(array), &array);
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(integer.IsNull());
    EXPECT_FALSE(array.IsObject());
}

TEST(JSONValue, StringsKeepNulBytes) {
    JSONString text("a\0b"s);
    EXPECT_EQ(JSONStringCopy(text), "a\0b"s);
    EXPECT_EQ(JSONStringAsBytes(text).View(), "a");
    EXPECT_EQ(GetJSONString(text), &text);
}

TEST(JSONValue, SharedSubtreeOutlivesItsParent) {
    auto child = std::make_shared<JSONArray>();
    child->AddValue(Integer(9));
    {
        JSONObject parent;
        parent.AddPair("child", child);
    }
    ASSERT_EQ(child->GetItems().size(), 1u);
    EXPECT_EQ(JSONAsInteger(*child->GetItems()[0]), 9);
}

TEST(JSONValue, DeepTreeIsReleasedWithoutRecursion) {
    // Far deeper than any stack could follow one frame per level.
    SharingPtr<JSONValue> root = std::make_shared<JSONArray>();
    JSONValue* innermost = root.get();
    for (int level = 0; level < 100000; ++level) {
        auto next = level % 2 ? SharingPtr<JSONValue>(std::make_shared<JSONArray>())
                              : SharingPtr<JSONValue>(std::make_shared<JSONObject>());
        level % 2 ? innermost->AddPair("k", next) : innermost->AddValue(next);
        innermost = next.get();
    }
    root.reset();
}

TEST(JSONValueMaker, BuildsTheDocumentAndRefusesMisplacedEvents) {
    JSONValueMaker maker;
    EXPECT_THROW(maker.Result(), NoJSONValue);
    EXPECT_THROW(maker.EndArray(), NoJSONValue);
    maker.BeginObject();
    EXPECT_THROW(maker.Integer(1), NoJSONValue);

    JSONValueMaker scalar;
    scalar.BeginString();
    scalar.Text("ab", "ab" + 2);
    scalar.Text("c", "c" + 1);
    scalar.EndString();
    EXPECT_EQ(JSONStringCopy(*scalar.Result()), "abc");
}
