#include "relay/register/replication_server_list.h"

#include "foundation/calendar_time.h"
#include "base/character_classes.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/interval_parser.h"
#include "base/numerals.h"
#include "foundation/time_parser.h"
#include "foundation/whole_file.h"
#include "formats/xml_tree_parser.h"
#include "net/url_info.h"

namespace {

constexpr const char* kBackupFileName = "ReplicationServerList.bak";
constexpr std::uint32_t kPortOfURLWithoutPort = 80;

ConstData AttributeText(const XMLElementPL& element, const char* name) {
    return ConstData(std::string_view(element.GetAttribute(name)));
}

std::uint32_t DecimalAttribute(const XMLElementPL& element, const char* name, std::uint32_t missing) {
    ConstData text = AttributeText(element, name);
    return text.IsEmpty() ? missing : DecimalToUInt32(text);
}

// The file gives RefreshInterval and LastUpdateTime; the relay keeps them but uses neither, so a
// missing one is 0 rather than a text the parsers would refuse.
std::int64_t IntervalAttribute(const XMLElementPL& element, const char* name) {
    ConstData text = AttributeText(element, name);
    return text.IsEmpty() ? 0 : ParseIntervalText(text);
}

TimeValue TimeAttribute(const XMLElementPL& element, const char* name) {
    ConstData text = AttributeText(element, name);
    return text.IsEmpty() ? TimeValue(0) : TimeValue().SetFromCalendar(ParseTimeText(text));
}

// A given ServerURL names the server: its host and port override the other two attributes.
void TakeNameAndPortFromURL(ReplicationServer& server) {
    if (server.serverURL.back() != '/') server.serverURL += '/';
    URLInfo url(ConstData(std::string_view(server.serverURL)));
    server.serverName = StringFromConstData(url.GetHost());
    server.serverPort = url.HasPort() ? url.GetPort() : kPortOfURLWithoutPort;
}

[[noreturn]] void ThrowParsingError() { throw ExceptionPL("Invalid ReplicationServerList File: parsing error\n"); }
[[noreturn]] void ThrowDuplicateServerID() {
    throw ExceptionPL("Invalid ReplicationServerList File: duplicate server id\n");
}

}  // namespace

ReplicationServer ReadReplicationServer(const XMLElementPL& element) {
    ReplicationServer server;
    server.serverID = DecimalToUInt32(AttributeText(element, "ServerID"));
    server.serverURL = element.GetAttribute("ServerURL");
    server.serverName = element.GetAttribute("ServerName");
    server.serverPort = DecimalAttribute(element, "ServerPort", ReplicationServer::kDefaultPort);
    server.refreshInterval = IntervalAttribute(element, "RefreshInterval");
    server.lastUpdateTime = TimeAttribute(element, "LastUpdateTime");
    server.lastUpdateServerID = DecimalAttribute(element, "LastUpdateServerID", 0);
    server.connected = Ascii::EqualIgnoringCase(AttributeText(element, "Connected"), ConstData(std::string_view("Yes")));

    if (!server.serverURL.empty()) {
        TakeNameAndPortFromURL(server);
    } else if (server.serverName.empty()) {
        throw ExceptionPL("No serverURL, nor ServerName, specified in ReplicationServerList XML");
    } else {
        server.serverURL = "http://" + server.serverName + ":" + std::to_string(server.serverPort) + "/";
    }
    return server;
}

void ReplicationServerList::ReadServers(const FileLocation& file, ServerMap& servers) {
    XMLTreeParserPL parser;
    parser.Receive(ConstData(std::string_view(ReadFileText(file))));
    if (parser.HasOpenElements() || parser.Root() == nullptr) {
        servers.clear();
        ThrowParsingError();
    }
    for (const XMLElementPL& element : parser.Root()->Children()) {
        ReplicationServer server = ReadReplicationServer(element);
        if (!servers.emplace(server.serverID, server).second) {
            servers.clear();
            ThrowDuplicateServerID();
        }
    }
}

void ReplicationServerList::Load(const FileLocation& location) {
    m_servers.clear();
    m_location = location;
    if (!FileAttributes(location).Exists()) {
        FileLocation backup = ChildFileLocation(location.GetParent(), kBackupFileName);
        if (!FileAttributes(backup).Exists()) return;
        CopyPath(backup, location);
        if (!FileAttributes(location).Exists()) return;
    }
    ReadServers(location, m_servers);
}

void ReplicationServerList::Install(const FileLocation& received, const FileLocation& target) {
    ServerMap servers;
    ReadServers(received, servers);
    CopyPath(received, target);
    m_location = target;
    m_servers = std::move(servers);
}

const ReplicationServer& ReplicationServerList::Find(std::uint32_t serverID) const {
    auto found = m_servers.find(serverID);
    if (found == m_servers.end()) throw ExceptionPL("ReplicationServerList Error: ID Not Found");
    return found->second;
}

std::set<std::uint32_t> ReplicationServerList::GetServerIDs() const {
    std::set<std::uint32_t> ids;
    for (const auto& entry : m_servers) ids.insert(entry.first);
    return ids;
}
