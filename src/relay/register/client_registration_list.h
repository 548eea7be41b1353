// ClientRegistrationList: the relay's memory of every computer registered with it or below it
// (clients, child relays, and computers other servers reported through replication), kept in
// "RegistrationList.txt" (registration_list_file.h) and read back at start.
//
// What it holds:
// - the items by computer ID (ascending), which it owns;
// - the active items by registration time, and the retired items by slot: an item retires a day after
//   its registration, its slot may then go to another computer and its relay-tree node is unlinked;
//   it stays in the list, the file and replication, and is active again when it registers again;
// - the relay tree (relay_tree.h) of who registered through whom;
// - per origin server, the highest OriginSequence known from it, and this server's own sequence,
//   raised by every registration recorded here and stored as ThisServerSequence before each write;
// - the replication server list (replication_server_list.h), and whether a replication run is going
//   on (one at a time).
//
// The file: written whole to "~" + its name in the same folder, which then replaces the list with
// one atomic rename, so the file always holds a complete list. At load, a list that is missing while
// its "~" file exists is taken from that file. Corrupt lines are skipped, counted and logged at
// "critical"; the file as it was is kept as "InvalidRegistrationList.txt" and the good items are
// written back at once. A line that repeats a computer ID replaces the earlier one.
//
// Threads: every member may be called from any thread. Three recursive locks: the list lock (items,
// indexes, tree, counters), the write lock (one load or write at a time; taken before the list lock)
// and the server-list lock (never held with the list lock). A write copies the items under the list
// lock and writes them outside it, so registrations go on meanwhile.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "foundation/critical_section.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/list_pl.h"
#include "relay/register/client_registration_list_item.h"
#include "relay/register/registration_list_settings.h"
#include "relay/register/relay_tree.h"
#include "relay/register/replication_record.h"
#include "relay/register/replication_server_list.h"
#include "relay/register/value_deletable_multimap.h"
#include "relay/register/wake_on_lan_adapter.h"

class GetStopFunctor;

class ClientRegistrationListNotAvailable : public ExceptionPL {
  public:
    ClientRegistrationListNotAvailable()
        : ExceptionPL("Client Registration List not available at expected location.") {}
};

// What a registration accepted by the parent records.
struct ClientRegistrationData {
    std::uint64_t parentID = 0;
    bool isRelay = false;
    bool relayAddress = false;
    IPAddress address{false, true};
    std::uint32_t regSequenceNumber = 0;
    bool canHandleMVPings = false;
    std::optional<WakeOnLANAdapter> wakeOnLAN;  // gives Subnet, MACAddress and CanForwardWoL
};

class ClientRegistrationList {
  public:
    static constexpr std::uint32_t kRetireAge = 86'400;  // seconds
    // A PermanentExpirationPeriodDays limit shorter than this is raised to it.
    static constexpr std::uint32_t kShortestExpirationDays = 15;

    // The process-wide list, built on first call from the registry's settings under
    // RegistrationListLock(); a failed construction throws and is tried again at the next call. It
    // is destroyed, writing the file, when the process exits.
    static ClientRegistrationList& Instance();

    // Loads the replication server list (failures ignored) and then the list file. A file that
    // cannot be read is moved aside as "InvalidRegistrationList.txt" and its error thrown;
    // ClientRegistrationListNotAvailable when the "~" file cannot be put in place of a missing list.
    explicit ClientRegistrationList(RegistrationListSettings settings);
    // Stores the sequence and writes the file; failures ignored.
    ~ClientRegistrationList();
    ClientRegistrationList(const ClientRegistrationList&) = delete;
    ClientRegistrationList& operator=(const ClientRegistrationList&) = delete;

    // ThisServerID as stored now.
    std::uint32_t GetThisServerID() const;

    // Records a registration the parent accepted, under the ID and slot it assigned (both non-zero):
    // a new item at the present time with the next sequence of this server; a listed computer keeps
    // its UpdateSequence and ResendMaximum and loses a pending resend.
    void Register(std::uint64_t id, std::uint32_t slot, const ClientRegistrationData& data);
    // A copy of the item; false when the ID is not listed.
    bool GetItem(std::uint64_t id, ClientRegistrationListItem& item) const;
    // Appends a copy of every item, in ascending ID order.
    void CopyItems(ListPL<ClientRegistrationListItem>& items) const;
    // The address a notification for the computer goes to: that of this relay's child that leads to
    // it, or with UseRelayTreeForPings 0 or without such a child, its own. ExceptionPL "Unknown
    // client id" when neither is listed.
    IPAddress GetRoute(std::uint64_t id) const;

    std::uint32_t CountChildren(std::uint64_t id) const;
    std::uint32_t CountChildRelays(std::uint64_t id) const;
    // Whether the parent has fewer children (relays: child relays) than MaxChildCount
    // (MaxChildRelayCount), or the window started below has passed.
    bool HasRoomForChild(std::uint64_t parentID, bool isRelay) const;
    // For ChildCountTestPeriod (ChildRelayCountTestPeriod) seconds from now, HasRoomForChild answers
    // by the counts alone.
    void StartChildCountWindow();
    void StartChildRelayCountWindow();

    // For a listed ID: UpdateSequence = value, ResendPending, ResendMaximum raised to `maximum`.
    void MarkPendingNotification(std::uint64_t id, std::uint32_t value, std::uint32_t maximum);
    // For a listed ID: UpdateSequence = value.
    void SetPendingValue(std::uint64_t id, std::uint32_t value);

    // The slot for a computer: retires old registrations first, then hands out the lowest retired slot
    // when it is below the computer's own (the retired item takes the computer's slot, or the
    // number of items plus one), else the computer's slot or the number of items plus one.
    std::uint32_t AssignSlot(std::uint64_t id);

    // Per origin server, the highest OriginSequence known.
    std::map<std::uint32_t, std::uint64_t> CopyServerSequences() const;

    // Stores this server's sequence and writes the file. ClientRegistrationListNotAvailable for any
    // failure; the list in memory is unchanged, the file holds the old list or the new one.
    void WriteNow();

    // A copy of the replication server list.
    void GetReplicationServerList(ReplicationServerList& list) const;
    // Installs a received replication server list over the configured location and gives every
    // server a sequence entry (0 when none is known). A file that does not read completely changes
    // nothing and its error is thrown.
    void InstallReplicationServerList(const FileLocation& received);

    // Asks the servers of `servers` in ascending ServerID order for the records newer than those the
    // list holds (replication_request.h) and merges each answer. Only servers that are Connected,
    // are not this server (ThisServerID as stored now) and are reached directly (ServerID equal to
    // LastUpdateServerID) are asked. A server that fails contributes nothing and is logged at
    // "critical"; the others are still asked. One run at a time: a call while another runs returns
    // at once. A stop ends the run between servers. No lock is held during an exchange.
    void ReplicateFromServers(GetStopFunctor& stop, const ReplicationServerList& servers);
    // Merges the records in list order; a failure leaves those merged before it.
    void ApplyReplicationRecords(const ListPL<ReplicationRecord>& records);
    // Raises the record's origin server sequence when it is higher, then stores the record as an
    // item when its computer is not listed or its RegSequenceNumber is higher than the listed one's
    // (keeping ResendPending, UpdateSequence and ResendMaximum); the item takes a slot from
    // AssignSlot and keeps the record's OriginServer and OriginSequence. A record for computer ID 0
    // only raises the sequence: no item has that ID.
    void ApplyReplicationRecord(const ReplicationRecord& record);

  private:
    using ItemMap = std::map<std::uint64_t, ClientRegistrationListItem>;

    void LoadListFile();
    void RestoreFromTemporary();
    std::uint64_t ReadListFile();  // answers the number of corrupt lines
    void TakeLoadedItem(const ClientRegistrationListItem& item, std::uint64_t& largestOwnSequence);
    void MoveListAside() noexcept;
    void KeepCorruptListAside() noexcept;
    void RenumberSlots();
    void RetireOldRegistrations();
    void RaiseServerSequence(std::uint32_t server, std::uint64_t sequence);
    std::uint64_t KeepLimitInMicroseconds() const;
    void WriteItems(const ListPL<ClientRegistrationListItem>& items);
    bool IsReplicationSource(const ReplicationServer& server) const;
    // One server's exchange and merge; false when the run must end (a stop).
    bool ReplicateFrom(GetStopFunctor& stop, const ReplicationServer& server);

    RegistrationListSettings m_settings;
    FileLocation m_temporaryLocation;  // "~" + the list's name

    mutable CriticalSection m_listLock;
    mutable CriticalSection m_writeLock;
    mutable CriticalSection m_serverListLock;

    ItemMap m_items;
    ValueDeletableMultimap<std::uint32_t, std::uint64_t> m_byRegTime;        // active items
    ValueDeletableMultimap<std::uint32_t, std::uint64_t> m_retiredBySlot;    // retired items
    RelayTree m_relayTree;
    std::map<std::uint32_t, std::uint64_t> m_serverSequences;
    std::uint64_t m_thisServerSequence;
    std::uint32_t m_childCountTestTime = 0;       // seconds since 1970
    std::uint32_t m_childRelayCountTestTime = 0;  // seconds since 1970

    ReplicationServerList m_serverList;
    bool m_replicationRunning = false;  // guarded by the list lock
};
