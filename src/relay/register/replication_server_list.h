// ReplicationServerList: the other servers of the deployment, read from "ReplicationServerList.xml".
//
// The relay asks these servers for replication records and forwards notifications for another
// server through the server that reaches it. The file is written by the deployment's root server
// and reaches the relay as the body of a "TriggerReplicate" request; the relay only reads it and
// installs received copies.
//
// File form: an XML document whose root element holds one child element per server (the element
// names play no part). Attributes of a server, matched by exact name:
//
//   "ServerID"            decimal, required
//   "ServerURL"           base URL; when empty, "http://" ServerName ":" ServerPort "/"; when given,
//                         ServerName and ServerPort are taken from it (port 80 when it has none)
//   "ServerName"          host text (empty)
//   "ServerPort"          decimal (52311)
//   "RefreshInterval"     interval text, as ParseIntervalText reads it (0)
//   "LastUpdateTime"      date and time with a zone, as ParseTimeText reads it (0)
//   "LastUpdateServerID"  decimal: the server through which this one is reached (0)
//   "Connected"           "Yes" in any case means true; anything else false
//
// Other attributes are ignored. A value, copied deeply; one thread at a time (the registration list
// guards the process's copy with its server-list lock).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "base/time_value.h"
#include "formats/xml_element.h"

struct ReplicationServer {
    static constexpr std::uint32_t kDefaultPort = 52311;

    std::uint32_t serverID = 0;
    std::string serverURL;  // always ends with "/"
    std::string serverName;
    std::uint32_t serverPort = kDefaultPort;
    std::int64_t refreshInterval = 0;  // microseconds
    TimeValue lastUpdateTime = 0;
    std::uint32_t lastUpdateServerID = 0;
    bool connected = false;
};

// The server an element of the file describes. ExceptionPL "No serverURL, nor ServerName, specified
// in ReplicationServerList XML" when both are empty; the readers' own errors for a value that does
// not convert (a ServerURL without a host is NoHostError).
ReplicationServer ReadReplicationServer(const XMLElementPL& element);

class ReplicationServerList {
  public:
    // Replaces the location and the servers with the file's. A missing file is first restored from
    // "ReplicationServerList.bak" in the same folder; with neither the list is empty, without error.
    // A document that is not complete XML, or that names a ServerID twice, empties the list and
    // throws ExceptionPL "Invalid ReplicationServerList File: parsing error\n" or "... duplicate
    // server id\n"; a value that does not convert throws its reader's error and leaves the servers
    // read before it.
    void Load(const FileLocation& location);

    // Reads a received copy of the file and, only when all of it is valid (the same errors as Load;
    // a missing file is the file error), copies it over `target` with one atomic replace and takes
    // its servers and `target` as the location. A failure changes neither the list nor `target`.
    void Install(const FileLocation& received, const FileLocation& target);

    // ExceptionPL "ReplicationServerList Error: ID Not Found" when the ID is not listed.
    const ReplicationServer& Find(std::uint32_t serverID) const;
    bool Contains(std::uint32_t serverID) const { return m_servers.count(serverID) != 0; }
    // Ascending.
    std::set<std::uint32_t> GetServerIDs() const;
    const FileLocation& GetLocation() const { return m_location; }

  private:
    using ServerMap = std::map<std::uint32_t, ReplicationServer>;

    // Reads the file's servers into `servers`, which holds those read before a failure.
    static void ReadServers(const FileLocation& file, ServerMap& servers);

    FileLocation m_location;
    ServerMap m_servers;
};
