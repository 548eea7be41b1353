#include "relay/download/download_plugin_message.h"

#include <gtest/gtest.h>

#include <string>

#include "base/const_data_reader.h"
#include "formats/json_parser.h"

namespace {

DownloadPluginMessage Read(const std::string& text) {
    ConstDataReader reader{ConstData(text)};
    return ReadDownloadPluginMessage(*ParseJSON(reader));
}

// The what() text of the failure, or "" when the message reads.
std::string FailureOf(const std::string& text) {
    try {
        Read(text);
        return "";
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

}  // namespace

TEST(DownloadPluginMessage, ReadsEachKind) {
    const DownloadPluginMessage add =
        Read(R"({"location" : "/opt/plugins/test", "message" : "add", "protocol" : "test", "extra" : 1})");
    EXPECT_EQ(add.kind, DownloadPluginMessageKind::Add);
    EXPECT_EQ(add.protocol, "test");
    EXPECT_EQ(add.location, "/opt/plugins/test");

    const DownloadPluginMessage remove = Read(R"({"message" : "remove", "protocol" : "te st"})");
    EXPECT_EQ(remove.kind, DownloadPluginMessageKind::Remove);
    EXPECT_EQ(remove.protocol, "te st");

    const DownloadPluginMessage status = Read(
        R"({"message" : "status", "id" : 1700000000, "status" : [)"
        R"({"id" : 3, "success" : true, "error" : null}, {"id" : 1, "success" : false, "error" : "no route"},)"
        R"({"id" : -1, "success" : false, "error" : null}]})");
    EXPECT_EQ(status.kind, DownloadPluginMessageKind::Status);
    EXPECT_EQ(status.processID, 1700000000u);
    ASSERT_EQ(status.statuses.size(), 3u);
    EXPECT_EQ(status.statuses[0].downloadID, 3u);
    EXPECT_TRUE(status.statuses[0].success);
    EXPECT_FALSE(status.statuses[0].error);
    EXPECT_EQ(status.statuses[1].downloadID, 1u);
    EXPECT_FALSE(status.statuses[1].success);
    EXPECT_EQ(status.statuses[1].error, "no route");
    EXPECT_EQ(status.statuses[2].downloadID, UINT64_MAX);
}

TEST(DownloadPluginMessage, OtherMessageTextsHaveNoKind) {
    for (const char* text : {R"({"message" : "Add", "protocol" : "test", "location" : "/x"})",
                             R"({"message" : "statuses"})", R"({"message" : null})", R"({"message" : ""})"})
        EXPECT_EQ(Read(text).kind, DownloadPluginMessageKind::Unrecognized) << text;
}

TEST(DownloadPluginMessage, RefusesMissingNullAndMistypedValues) {
    const struct {
        const char* text;
        const char* failure;
    } cases[] = {
        {R"({"protocol" : "test"})", "class NoSuchJSONValue"},
        {R"({"message" : "add", "protocol" : "test"})", "class NoSuchJSONValue"},
        {R"({"message" : "remove"})", "class NoSuchJSONValue"},
        {R"({"message" : "status", "status" : []})", "class NoSuchJSONValue"},
        {R"({"message" : "status", "id" : 1, "status" : [{"id" : 0, "success" : true}]})",
         "class NoSuchJSONValue"},
        {R"(["message", "add"])", "class JSONTypeMismatch"},
        {R"({"message" : 1})", "class JSONTypeMismatch"},
        {R"({"message" : "add", "protocol" : "test", "location" : ["/x"]})", "class JSONTypeMismatch"},
        {R"({"message" : "status", "id" : "1", "status" : []})", "class JSONTypeMismatch"},
        {R"({"message" : "status", "id" : 1.0, "status" : []})", "class JSONTypeMismatch"},
        {R"({"message" : "status", "id" : 1, "status" : {}})", "class JSONTypeMismatch"},
        {R"({"message" : "status", "id" : 1, "status" : [{"id" : 0, "success" : 1, "error" : null}]})",
         "class JSONTypeMismatch"},
        {R"({"message" : "status", "id" : 1, "status" : [{"id" : 0, "success" : false, "error" : 5}]})",
         "class JSONTypeMismatch"},
        {R"({"message" : "add", "protocol" : null, "location" : "/x"})",
         "The download plugin message's \"protocol\" is null"},
        {R"({"message" : "add", "protocol" : "test", "location" : null})",
         "The download plugin message's \"location\" is null"},
        {R"({"message" : "remove", "protocol" : null})",
         "The download plugin message's \"protocol\" is null"},
        {R"({"message" : "status", "id" : null, "status" : []})",
         "The download plugin message's \"id\" is null"},
        {R"({"message" : "status", "id" : 1, "status" : null})",
         "The download plugin message's \"status\" is null"},
        {R"({"message" : "status", "id" : 1, "status" : [{"id" : 0, "success" : null, "error" : null}]})",
         "The download plugin message's \"success\" is null"},
    };
    for (const auto& each : cases) EXPECT_EQ(FailureOf(each.text), each.failure) << each.text;
}
