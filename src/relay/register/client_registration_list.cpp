#include "relay/register/client_registration_list.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/clocks.h"
#include "foundation/data_bufferer.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/log_manager.h"
#include "foundation/process_setup.h"
#include "foundation/whole_file.h"
#include "http/get_stop_functor.h"
#include "relay/register/registration_list_file.h"
#include "relay/register/replication_request.h"

namespace {

constexpr const char* kTemporaryPrefix = "~";
constexpr const char* kInvalidListFileName = "InvalidRegistrationList.txt";
constexpr std::uint64_t kMicrosecondsPerDay = 86'400'000'000;
constexpr std::size_t kWriteBufferSize = 16 * 1024;

// Times as the list keeps them: unsigned 32-bit seconds since 1970.
std::uint32_t ListTimeNow() { return static_cast<std::uint32_t>(NowInSeconds()); }

// A registration time ahead of the clock (the clock was set back) counts as just now: taken as an
// unsigned difference it would look decades old and the registration would be retired and dropped.
std::uint32_t AgeInSeconds(std::uint32_t now, std::uint32_t regTime) { return regTime > now ? 0 : now - regTime; }

bool Exists(const FileLocation& location) { return FileAttributes(location).Exists(); }

// The list item a replicated record becomes; the slot and the fields the record does not carry are
// the caller's.
ClientRegistrationListItem ItemFromRecord(const ReplicationRecord& record) {
    ClientRegistrationListItem item;
    item.clientID = record.clientID;
    item.parentID = record.parentID;
    item.isRelay = record.isRelay;
    item.relayAddress = record.relayAddress;
    item.address = record.address;
    item.regTime = static_cast<std::uint32_t>(record.regTime / kMicrosecondsPerSecond);
    item.regSequenceNumber = record.regSequenceNumber;
    item.originServer = record.originServer;
    item.originSequence = record.originSequence;
    item.canHandleMVPings = record.canHandleMVPings;
    item.subnet = record.subnet;
    item.macAddress = record.macAddress;
    item.canForwardWoL = record.canForwardWoL;
    return item;
}

// An error text for one log line: the texts of some errors end with a line end.
std::string_view WithoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

FileLocation TemporaryLocationOf(const FileLocation& list) {
    std::string name = kTemporaryPrefix + list.GetName().ToString();
    return ChildFileLocation(list.GetParent(), name.c_str());
}

}  // namespace

ClientRegistrationList& ClientRegistrationList::Instance() {
    // Destroyed at exit, which writes the file; left unset by a failed construction, so the next
    // call tries again.
    static std::unique_ptr<ClientRegistrationList> instance;
    CriticalSectionGuard guard(RegistrationListLock());
    if (!instance) instance = std::make_unique<ClientRegistrationList>(ReadRegistrationListSettings());
    return *instance;
}

ClientRegistrationList::ClientRegistrationList(RegistrationListSettings settings)
    : m_settings(std::move(settings)),
      m_temporaryLocation(TemporaryLocationOf(m_settings.listLocation)),
      m_thisServerSequence(m_settings.thisServerSequence) {
    {
        CriticalSectionGuard guard(m_serverListLock);
        // A broken or missing server list leaves the list empty or partial: replication then asks
        // fewer servers, and the next "TriggerReplicate" brings a new list.
        try {
            m_serverList.Load(m_settings.replicationServerListLocation);
        } catch (const std::exception&) {
        }
    }
    LoadListFile();
}

ClientRegistrationList::~ClientRegistrationList() {
    try {
        WriteNow();
    } catch (const std::exception&) {
    }
}

std::uint32_t ClientRegistrationList::GetThisServerID() const {
    return m_settings.readThisServerID ? m_settings.readThisServerID() : m_settings.thisServerID;
}

// ----- Loading -----

void ClientRegistrationList::LoadListFile() {
    CriticalSectionGuard write(m_writeLock);
    std::uint64_t corruptLines = 0;
    {
        CriticalSectionGuard list(m_listLock);
        m_items.clear();
        m_byRegTime.Clear();
        m_retiredBySlot.Clear();
        RestoreFromTemporary();
        if (!Exists(m_settings.listLocation)) return;
        try {
            corruptLines = ReadListFile();
        } catch (const std::exception&) {
            MoveListAside();
            throw;
        }
    }
    if (corruptLines == 0) return;

    // The good items stay: losing the whole list to one bad line would strand every client of the
    // site. The file as it was is kept for the administrator, and the list written anew.
    KVR_LOG("critical") << "Client registration list had " << corruptLines << " corrupt lines.";
    KeepCorruptListAside();
    try {
        WriteNow();
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Client registration list could not be written again: " << error.what();
    }
}

// A write that stopped after its temporary file was complete but before that replaced the list (a
// list deleted by hand, or a file of an older writer that deleted first) leaves only the "~" file.
void ClientRegistrationList::RestoreFromTemporary() {
    if (Exists(m_settings.listLocation) || !Exists(m_temporaryLocation)) return;
    try {
        MovePath(m_temporaryLocation, m_settings.listLocation);
    } catch (const std::exception&) {
    }
    if (!Exists(m_settings.listLocation)) throw ClientRegistrationListNotAvailable();
}

std::uint64_t ClientRegistrationList::ReadListFile() {
    std::uint64_t largestOwnSequence = 0;
    ClientRegistrationLineReceiver receiver(
        [&](const ClientRegistrationListItem& item) { TakeLoadedItem(item, largestOwnSequence); });
    ReadFileLines(m_settings.listLocation, receiver);
    m_thisServerSequence = std::max(m_thisServerSequence, largestOwnSequence);
    RenumberSlots();
    RetireOldRegistrations();
    return receiver.CorruptLineCount();
}

void ClientRegistrationList::TakeLoadedItem(const ClientRegistrationListItem& item,
                                            std::uint64_t& largestOwnSequence) {
    if (item.originServer == m_settings.thisServerID)
        largestOwnSequence = std::max(largestOwnSequence, item.originSequence);
    RaiseServerSequence(item.originServer, item.originSequence);

    // A computer on two lines: the later line stands, as it would after two registrations.
    std::uint64_t id = item.clientID;
    if (m_items.count(id) != 0) {
        m_byRegTime.Remove(id);
        m_retiredBySlot.Remove(id);
        m_relayTree.Unlink(id);
    }
    m_items[id] = item;
    m_byRegTime.Insert(item.regTime, id);
    if (item.parentID != 0) m_relayTree.Add(id, item.parentID, item.isRelay);
}

// Best effort: the file moves aside so that the next start begins afresh, and any failure to move it
// leaves it where it is.
void ClientRegistrationList::MoveListAside() noexcept {
    try {
        ReplacePath(m_settings.listLocation, ChildFileLocation(m_settings.listLocation.GetParent(), kInvalidListFileName));
    } catch (const std::exception&) {
    }
}

// A copy rather than a move: the list must not disappear before its rewritten form replaces it.
void ClientRegistrationList::KeepCorruptListAside() noexcept {
    try {
        CopyPath(m_settings.listLocation, ChildFileLocation(m_settings.listLocation.GetParent(), kInvalidListFileName));
    } catch (const std::exception&) {
    }
}

void ClientRegistrationList::RenumberSlots() {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> bySlot;  // (slot, ID): equal slots by ID
    bySlot.reserve(m_items.size());
    for (const auto& [id, item] : m_items) bySlot.emplace_back(item.slot, id);
    std::sort(bySlot.begin(), bySlot.end());
    std::uint32_t slot = 0;
    for (const auto& entry : bySlot) m_items[entry.second].slot = ++slot;
}

// ----- Slots and retirement -----

void ClientRegistrationList::RetireOldRegistrations() {
    std::uint32_t now = ListTimeNow();
    while (auto oldest = m_byRegTime.Lowest()) {
        if (AgeInSeconds(now, oldest->first) < kRetireAge) return;
        std::uint64_t id = oldest->second;
        m_byRegTime.Remove(id);
        m_retiredBySlot.Insert(m_items[id].slot, id);
        m_relayTree.Unlink(id);
    }
}

std::uint32_t ClientRegistrationList::AssignSlot(std::uint64_t id) {
    CriticalSectionGuard guard(m_listLock);
    RetireOldRegistrations();
    std::optional<std::uint32_t> own;
    if (auto found = m_items.find(id); id != 0 && found != m_items.end()) own = found->second.slot;
    std::uint32_t next = static_cast<std::uint32_t>(m_items.size()) + 1;

    auto retired = m_retiredBySlot.Lowest();
    if (!retired || (own && retired->first >= *own)) return own.value_or(next);
    // The retired item gives its slot up and takes the computer's (or a new one at the end).
    std::uint64_t retiredID = retired->second;
    std::uint32_t replacement = own.value_or(next);
    m_retiredBySlot.Remove(retiredID);
    m_items[retiredID].slot = replacement;
    m_retiredBySlot.Insert(replacement, retiredID);
    return retired->first;
}

// ----- Registrations -----

void ClientRegistrationList::Register(std::uint64_t id, std::uint32_t slot, const ClientRegistrationData& data) {
    CriticalSectionGuard guard(m_listLock);
    ClientRegistrationListItem item;
    if (auto old = m_items.find(id); old != m_items.end()) {
        item.updateSequence = old->second.updateSequence;
        item.resendMaximum = old->second.resendMaximum;
        m_byRegTime.Remove(id);
        m_retiredBySlot.Remove(id);
    }
    ++m_thisServerSequence;

    item.clientID = id;
    item.parentID = data.parentID;
    item.isRelay = data.isRelay;
    item.relayAddress = data.relayAddress;
    item.address = data.address;
    item.slot = slot;
    item.regTime = ListTimeNow();
    item.regSequenceNumber = data.regSequenceNumber;
    item.originServer = m_settings.thisServerID;
    item.originSequence = m_thisServerSequence;
    item.canHandleMVPings = data.canHandleMVPings;
    if (data.wakeOnLAN) {
        item.subnet = data.wakeOnLAN->subnet;
        item.macAddress = data.wakeOnLAN->macAddress;
        item.canForwardWoL = data.wakeOnLAN->canForward;
    }
    m_items[id] = item;
    m_serverSequences[m_settings.thisServerID] = m_thisServerSequence;
    m_byRegTime.Insert(item.regTime, id);
    m_relayTree.Add(id, item.parentID, item.isRelay);
}

bool ClientRegistrationList::GetItem(std::uint64_t id, ClientRegistrationListItem& item) const {
    CriticalSectionGuard guard(m_listLock);
    auto found = m_items.find(id);
    if (found == m_items.end()) return false;
    item = found->second;
    return true;
}

void ClientRegistrationList::CopyItems(ListPL<ClientRegistrationListItem>& items) const {
    CriticalSectionGuard guard(m_listLock);
    for (const auto& entry : m_items) items.Append(entry.second);
}

IPAddress ClientRegistrationList::GetRoute(std::uint64_t id) const {
    CriticalSectionGuard guard(m_listLock);
    if (m_settings.useRelayTreeForPings) {
        auto ownID = [this] { return m_settings.reloadOwnComputerID ? m_settings.reloadOwnComputerID() : 0; };
        if (std::optional<std::uint64_t> child = m_relayTree.FindRoute(id, ownID)) {
            if (auto found = m_items.find(*child); found != m_items.end()) return found->second.address;
        }
    }
    auto found = m_items.find(id);
    if (found == m_items.end()) throw ExceptionPL("Unknown client id");
    return found->second.address;
}

std::uint32_t ClientRegistrationList::CountChildren(std::uint64_t id) const {
    CriticalSectionGuard guard(m_listLock);
    return m_relayTree.CountChildren(id);
}

std::uint32_t ClientRegistrationList::CountChildRelays(std::uint64_t id) const {
    CriticalSectionGuard guard(m_listLock);
    return m_relayTree.CountChildRelays(id);
}

bool ClientRegistrationList::HasRoomForChild(std::uint64_t parentID, bool isRelay) const {
    CriticalSectionGuard guard(m_listLock);
    std::uint32_t count = isRelay ? m_relayTree.CountChildRelays(parentID) : m_relayTree.CountChildren(parentID);
    std::uint32_t limit = isRelay ? m_settings.maxChildRelayCount : m_settings.maxChildCount;
    if (count < limit) return true;
    return ListTimeNow() > (isRelay ? m_childRelayCountTestTime : m_childCountTestTime);
}

void ClientRegistrationList::StartChildCountWindow() {
    CriticalSectionGuard guard(m_listLock);
    m_childCountTestTime = ListTimeNow() + m_settings.childCountTestPeriod;
}

void ClientRegistrationList::StartChildRelayCountWindow() {
    CriticalSectionGuard guard(m_listLock);
    m_childRelayCountTestTime = ListTimeNow() + m_settings.childRelayCountTestPeriod;
}

void ClientRegistrationList::MarkPendingNotification(std::uint64_t id, std::uint32_t value, std::uint32_t maximum) {
    CriticalSectionGuard guard(m_listLock);
    auto found = m_items.find(id);
    if (found == m_items.end()) return;
    found->second.updateSequence = value;
    found->second.resendPending = true;
    found->second.resendMaximum = std::max(found->second.resendMaximum, maximum);
}

void ClientRegistrationList::SetPendingValue(std::uint64_t id, std::uint32_t value) {
    CriticalSectionGuard guard(m_listLock);
    auto found = m_items.find(id);
    if (found != m_items.end()) found->second.updateSequence = value;
}

// ----- Server sequences -----

void ClientRegistrationList::RaiseServerSequence(std::uint32_t server, std::uint64_t sequence) {
    auto [entry, inserted] = m_serverSequences.emplace(server, sequence);
    if (!inserted) entry->second = std::max(entry->second, sequence);
}

std::map<std::uint32_t, std::uint64_t> ClientRegistrationList::CopyServerSequences() const {
    CriticalSectionGuard guard(m_listLock);
    return m_serverSequences;
}

// ----- Writing -----

void ClientRegistrationList::WriteNow() {
    CriticalSectionGuard write(m_writeLock);
    try {
        ListPL<ClientRegistrationListItem> items;
        {
            CriticalSectionGuard list(m_listLock);
            if (m_settings.storeThisServerSequence) m_settings.storeThisServerSequence(m_thisServerSequence);
            CopyItems(items);
        }
        WriteItems(items);
    } catch (const std::exception& error) {
        KVR_LOG("debug") << "Writing the client registration list failed: " << error.what();
        throw ClientRegistrationListNotAvailable();
    }
}

std::uint64_t ClientRegistrationList::KeepLimitInMicroseconds() const {
    std::uint64_t days = m_settings.permanentExpirationPeriodDays;
    if (days == 0) return 0;
    return std::max<std::uint64_t>(days, kShortestExpirationDays) * kMicrosecondsPerDay;
}

// The "~" file is complete before it replaces the list in one rename: the list is never missing and
// never torn, whenever the process stops.
void ClientRegistrationList::WriteItems(const ListPL<ClientRegistrationListItem>& items) {
    std::uint64_t keepLimit = KeepLimitInMicroseconds();
    std::uint32_t now = ListTimeNow();
    FileReplacingDataSink sink(m_temporaryLocation);
    auto buffer = std::make_unique<DataBufferer<kWriteBufferSize>>(sink);
    buffer->Begin();
    for (const ClientRegistrationListItem& item : items) {
        std::uint64_t age = AgeInSeconds(now, item.regTime);
        if (keepLimit != 0 && age * kMicrosecondsPerSecond > keepLimit) continue;
        buffer->Write(ConstData(std::string_view(FormatRegistrationListLine(item))));
    }
    buffer->End();
    ReplacePath(m_temporaryLocation, m_settings.listLocation);
}

void ClientRegistrationList::GetReplicationServerList(ReplicationServerList& list) const {
    CriticalSectionGuard guard(m_serverListLock);
    list = m_serverList;
}

void ClientRegistrationList::InstallReplicationServerList(const FileLocation& received) {
    std::set<std::uint32_t> serverIDs;
    {
        CriticalSectionGuard guard(m_serverListLock);
        m_serverList.Install(received, m_settings.replicationServerListLocation);
        serverIDs = m_serverList.GetServerIDs();
    }
    CriticalSectionGuard guard(m_listLock);
    for (std::uint32_t id : serverIDs) m_serverSequences.emplace(id, 0);
}

// ----- Replication -----

void ClientRegistrationList::ReplicateFromServers(GetStopFunctor& stop, const ReplicationServerList& servers) {
    {
        CriticalSectionGuard guard(m_listLock);
        if (m_replicationRunning) return;
        m_replicationRunning = true;
    }
    struct RunEnd {
        ClientRegistrationList& list;
        ~RunEnd() {
            CriticalSectionGuard guard(list.m_listLock);
            list.m_replicationRunning = false;
        }
    } runEnd{*this};

    for (std::uint32_t id : servers.GetServerIDs()) {
        if (stop.ShouldStop()) return;
        const ReplicationServer& server = servers.Find(id);
        if (IsReplicationSource(server) && !ReplicateFrom(stop, server)) return;
    }
}

// A server reached through another one (LastUpdateServerID) gets its records from that one.
bool ClientRegistrationList::IsReplicationSource(const ReplicationServer& server) const {
    return server.connected && server.serverID != GetThisServerID() && server.serverID == server.lastUpdateServerID;
}

bool ClientRegistrationList::ReplicateFrom(GetStopFunctor& stop, const ReplicationServer& server) {
    try {
        ListPL<ReplicationRecord> records;
        ReplicationRequest(stop, server.serverName, server.serverPort, CopyServerSequences(), records);
        ApplyReplicationRecords(records);
        return true;
    } catch (const std::exception& error) {
        // An exchange broken off by a stop is no failure of the server.
        if (stop.ShouldStop()) return false;
        KVR_LOG("critical") << "Replication from server " << server.serverID << " (" << server.serverName << ":"
                            << server.serverPort << ") failed: " << WithoutLineEnd(error.what());
        return true;
    }
}

void ClientRegistrationList::ApplyReplicationRecords(const ListPL<ReplicationRecord>& records) {
    for (const ReplicationRecord& record : records) ApplyReplicationRecord(record);
}

void ClientRegistrationList::ApplyReplicationRecord(const ReplicationRecord& record) {
    CriticalSectionGuard guard(m_listLock);
    RaiseServerSequence(record.originServer, record.originSequence);
    // An item of ID 0 would make its line of the file corrupt at the next load.
    std::uint64_t id = record.clientID;
    if (id == 0) return;

    ClientRegistrationListItem item = ItemFromRecord(record);
    auto stored = m_items.find(id);
    if (stored != m_items.end()) {
        if (record.regSequenceNumber <= stored->second.regSequenceNumber) return;
        item.resendPending = stored->second.resendPending;
        item.updateSequence = stored->second.updateSequence;
        item.resendMaximum = stored->second.resendMaximum;
    }
    item.slot = AssignSlot(id);
    if (stored != m_items.end()) {
        m_byRegTime.Remove(id);
        m_retiredBySlot.Remove(id);
    }
    m_items[id] = item;
    m_byRegTime.Insert(item.regTime, id);
    m_relayTree.Add(id, item.parentID, item.isRelay);
}
