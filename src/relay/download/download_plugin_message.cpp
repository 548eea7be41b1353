#include "relay/download/download_plugin_message.h"

#include <string_view>

namespace {

// The member's value, or none when it is null; NoSuchJSONValue when it is missing.
JSONValue* MemberOrNull(const JSONObject& object, std::string_view name) {
    JSONValue& value = *object.GetMember(name);
    return value.IsNull() ? nullptr : &value;
}

JSONValue& RequiredMember(const JSONObject& object, std::string_view name) {
    JSONValue* value = MemberOrNull(object, name);
    if (value == nullptr)
        throw NullDownloadPluginMessageValue("The download plugin message's \"" + std::string(name) +
                                             "\" is null");
    return *value;
}

std::string RequiredText(const JSONObject& object, std::string_view name) {
    return JSONStringCopy(RequiredMember(object, name));
}

std::uint64_t RequiredID(const JSONObject& object, std::string_view name) {
    return static_cast<std::uint64_t>(JSONAsInteger(RequiredMember(object, name)));
}

DownloadPluginMessageKind KindOfMessage(const JSONObject& object) {
    JSONValue* message = MemberOrNull(object, "message");
    if (message == nullptr) return DownloadPluginMessageKind::Unrecognized;
    const std::string text = JSONStringCopy(*message);
    if (text == "add") return DownloadPluginMessageKind::Add;
    if (text == "remove") return DownloadPluginMessageKind::Remove;
    if (text == "status") return DownloadPluginMessageKind::Status;
    return DownloadPluginMessageKind::Unrecognized;
}

DownloadPluginStatus ReadStatusRecord(JSONValue& value) {
    const JSONObject& record = GetJSONObject(value);
    DownloadPluginStatus status;
    status.downloadID = RequiredID(record, "id");
    status.success = JSONAsBool(RequiredMember(record, "success"));
    if (JSONValue* error = MemberOrNull(record, "error")) status.error = JSONStringCopy(*error);
    return status;
}

}  // namespace

DownloadPluginMessage ReadDownloadPluginMessage(JSONValue& document) {
    const JSONObject& object = GetJSONObject(document);
    DownloadPluginMessage message;
    message.kind = KindOfMessage(object);
    switch (message.kind) {
        case DownloadPluginMessageKind::Add:
            message.protocol = RequiredText(object, "protocol");
            message.location = RequiredText(object, "location");
            break;
        case DownloadPluginMessageKind::Remove:
            message.protocol = RequiredText(object, "protocol");
            break;
        case DownloadPluginMessageKind::Status:
            message.processID = RequiredID(object, "id");
            for (const SharingPtr<JSONValue>& record :
                 GetJSONArray(RequiredMember(object, "status")).GetItems())
                message.statuses.push_back(ReadStatusRecord(*record));
            break;
        case DownloadPluginMessageKind::Unrecognized:
            break;
    }
    return message;
}
