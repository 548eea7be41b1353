#include "crypto/name_comparison.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Entry {
    const char* field;
    int type;
    const char* value;
};

constexpr int PS = V_ASN1_PRINTABLESTRING;
constexpr int UTF8 = V_ASN1_UTF8STRING;
constexpr int IA5 = V_ASN1_IA5STRING;

struct NameDeleter {
    void operator()(X509_NAME* name) const { X509_NAME_free(name); }
};
using Name = std::unique_ptr<X509_NAME, NameDeleter>;

Name MakeName(const std::vector<Entry>& entries) {
    Name name(X509_NAME_new());
    for (const Entry& entry : entries) {
        EXPECT_EQ(X509_NAME_add_entry_by_txt(name.get(), entry.field, entry.type,
                                             reinterpret_cast<const unsigned char*>(entry.value), -1, -1, 0),
                  1)
            << entry.value;
    }
    return name;
}

struct NameCase {
    const char* title;
    std::vector<Entry> a;
    std::vector<Entry> b;
    bool equal;
};

TEST(CompareNamesIgnoringPrefixedEntries, FollowsTheProductsNameRules) {
    const NameCase cases[] = {
        {"identical", {{"O", PS, "Veltra"}, {"CN", PS, "Site"}}, {{"O", PS, "Veltra"}, {"CN", PS, "Site"}}, true},
        {"a CustomActions entry", {{"O", PS, "Veltra"}, {"CN", PS, "Site"}, {"CN", PS, "CustomActions: all"}},
         {{"O", PS, "Veltra"}, {"CN", PS, "Site"}}, true},
        {"CustomRetrievedProperties entries",
         {{"O", PS, "Veltra"}, {"CN", PS, "Site"}, {"OU", PS, "CustomRetrievedProperties:x"}},
         {{"O", PS, "Veltra"}, {"CN", PS, "Site"}, {"OU", PS, "CustomRetrievedProperties:y"}}, true},
        {"a prefixed entry before others moves their set positions",
         {{"O", PS, "Veltra"}, {"OU", PS, "CustomActions:x"}, {"CN", PS, "Site"}},
         {{"O", PS, "Veltra"}, {"CN", PS, "Site"}}, false},
        {"printable case", {{"CN", PS, "Fixture SITE"}}, {{"CN", PS, "fixture site"}}, true},
        {"printable white space", {{"CN", PS, "  Fixture   Site "}}, {{"CN", PS, "Fixture Site"}}, true},
        {"printable words run together", {{"CN", PS, "FixtureSite"}}, {{"CN", PS, "Fixture Site"}}, false},
        {"e-mail case", {{"emailAddress", IA5, "Admin@Example.test"}}, {{"emailAddress", IA5, "admin@example.test"}},
         true},
        {"UTF-8 case", {{"CN", UTF8, "Fixture Site"}}, {{"CN", UTF8, "fixture site"}}, false},
        {"value types", {{"CN", PS, "Site"}}, {{"CN", UTF8, "Site"}}, false},
        {"only prefixed entries against none", {{"CN", PS, "CustomActions:a"}, {"OU", PS, "CustomActions:b"}}, {},
         true},
        {"a prefix in a UTF-8 value counts", {{"CN", PS, "Site"}, {"CN", UTF8, "CustomActions:a"}},
         {{"CN", PS, "Site"}}, false},
        {"one more entry", {{"O", PS, "Veltra"}, {"CN", PS, "Site"}}, {{"CN", PS, "Site"}}, false},
        {"entries swapped", {{"O", PS, "Site"}, {"CN", PS, "Veltra"}}, {{"CN", PS, "Site"}, {"O", PS, "Veltra"}}, false},
        {"attribute types", {{"O", PS, "Site"}}, {{"CN", PS, "Site"}}, false},
    };
    for (const NameCase& test : cases) {
        SCOPED_TRACE(test.title);
        Name a = MakeName(test.a);
        Name b = MakeName(test.b);
        int forward = CompareNamesIgnoringPrefixedEntries(a.get(), b.get());
        int backward = CompareNamesIgnoringPrefixedEntries(b.get(), a.get());
        EXPECT_EQ(forward == 0, test.equal);
        EXPECT_EQ(forward < 0, backward > 0);  // an ordering: the two directions disagree in sign
    }
}

}  // namespace
