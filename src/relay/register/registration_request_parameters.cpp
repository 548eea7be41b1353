#include "relay/register/registration_request_parameters.h"

#include <functional>
#include <map>

#include "base/numerals.h"

namespace {

std::uint32_t NumberOrZero(std::string_view text) { return DecimalToUInt32OrDefault(ConstData(text), 0); }
std::uint64_t Number64OrZero(std::string_view text) { return DecimalToUInt64OrDefault(ConstData(text), 0); }
bool Flag(std::string_view text) { return Number64OrZero(text) != 0; }

VersionQuad ReadVersion(std::string_view text) {
    VersionQuad version;
    if (!ParseVersionQuad(text, version) || version.count == 0) return VersionQuad{{}, 4};
    return version;
}

using ParameterSetter = std::function<void(RegistrationRequestParameters&, std::string_view)>;

// "SequenceNumber", "MaxChildren" and "MaxRelayChildren" are known names that set nothing here:
// they only travel on in the forward list, like every unknown name.
const std::map<std::string_view, ParameterSetter>& ParameterSetters() {
    using P = RegistrationRequestParameters;
    static const std::map<std::string_view, ParameterSetter> setters = {
        {"RequestType", [](P& p, std::string_view v) { p.requestType = v; }},
        {"Body", [](P& p, std::string_view v) { p.body = v; }},
        {"Argument", [](P& p, std::string_view v) { p.argument = NumberOrZero(v); }},
        {"Argument1MV",
         [](P& p, std::string_view v) {
             p.argument1MV = NumberOrZero(v);
             p.hasArgument1MV = true;
         }},
        {"Argument2", [](P& p, std::string_view v) { p.argument2 = NumberOrZero(v); }},
        {"WOLSubnet", [](P& p, std::string_view v) { p.wolSubnet = v; }},
        {"WOLPayload", [](P& p, std::string_view v) { p.wolPayload = v; }},
        {"ComputerID", [](P& p, std::string_view v) { p.computerID = Number64OrZero(v); }},
        {"ParentID", [](P& p, std::string_view v) { p.parentID = Number64OrZero(v); }},
        {"PingSequenceNumber", [](P& p, std::string_view v) { p.pingSequenceNumber = NumberOrZero(v); }},
        {"RelayPath", [](P& p, std::string_view v) { p.relayPath = v; }},
        {"ClientVersion", [](P& p, std::string_view v) { p.clientVersion = v; }},
        {"IsRelay", [](P& p, std::string_view v) { p.isRelay = Flag(v); }},
        {"ForwardToServers", [](P& p, std::string_view v) { p.forwardToServers = Flag(v); }},
        {"MaxHops", [](P& p, std::string_view v) { p.maxHops = NumberOrZero(v); }},
        {"MinHops", [](P& p, std::string_view v) { p.minHops = NumberOrZero(v); }},
        {"MinRelayVersion", [](P& p, std::string_view v) { p.minRelayVersion = ReadVersion(v); }},
        {"CanHandleMVPings", [](P& p, std::string_view v) { p.canHandleMVPings = Flag(v); }},
        {"DestinationServer", [](P& p, std::string_view v) { p.destinationServer = NumberOrZero(v); }},
        {"Root", [](P& p, std::string_view v) { p.root = v; }},
    };
    return setters;
}

}  // namespace

RegistrationRequestParameters ReadRegistrationRequestParameters(std::string_view query,
                                                                std::uint32_t thisServerID) {
    RegistrationRequestParameters parameters;
    parameters.destinationServer = thisServerID;
    const NameValueList pairs = ParseNameValueList(query);
    for (const auto& [nameText, valueText] : pairs) {
        const std::string_view name = nameText.GetConstData().View();
        const std::string_view value = valueText.GetConstData().View();
        if (name == "AdapterInfo" || name == "AdapterIpv6") {
            parameters.adapters.emplace(value);
            continue;
        }
        parameters.forwardList.Add({nameText, valueText});
        const auto setter = ParameterSetters().find(name);
        if (setter != ParameterSetters().end()) setter->second(parameters, value);
    }
    return parameters;
}
