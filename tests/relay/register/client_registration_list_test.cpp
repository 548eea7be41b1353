#include "relay/register/client_registration_list.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "foundation/log_manager.h"
#include "support/client_settings.h"
#include "support/kvrreg_runner.h"
#include "support/recording_log_writer.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::uint32_t kThisServerID = 7;
constexpr std::uint64_t kOwnComputerID = 1000;
constexpr std::uint32_t kDay = 86'400;

std::uint32_t NowInSecondsForTest() { return static_cast<std::uint32_t>(std::time(nullptr)); }
std::string Seconds(std::uint32_t value) { return std::to_string(value); }

// A line of the first four fields.
std::string ShortLine(std::uint64_t id, const std::string& address, std::uint32_t slot, std::uint32_t regTime,
                      const std::string& rest = "") {
    return std::to_string(id) + "\t" + address + "\t" + std::to_string(slot) + "\t" + Seconds(regTime) + rest + "\n";
}

// A whole line: fields 5 to 16 given as one text.
std::string FullLine(std::uint64_t id, const std::string& address, std::uint32_t slot, std::uint32_t regTime,
                     const std::string& rest) {
    return ShortLine(id, address, slot, regTime, "\t" + rest);
}

ClientRegistrationData Registration(std::uint64_t parentID, const char* address, bool isRelay = false) {
    ClientRegistrationData data;
    data.parentID = parentID;
    data.address = ParseIPAddress(address);
    data.isRelay = isRelay;
    data.relayAddress = isRelay;
    return data;
}

class ClientRegistrationListTest : public ::testing::Test {
  protected:
    RegistrationListSettings Settings() {
        RegistrationListSettings settings;
        settings.listLocation = At("registrationlist.txt");
        settings.replicationServerListLocation = At("ReplicationServerList.xml");
        settings.thisServerID = kThisServerID;
        settings.thisServerSequence = 3;
        settings.reloadOwnComputerID = [] { return kOwnComputerID; };
        settings.storeThisServerSequence = [this](std::uint64_t value) { m_storedSequence = value; };
        return settings;
    }
    std::unique_ptr<ClientRegistrationList> Load() { return Load(Settings()); }
    std::unique_ptr<ClientRegistrationList> Load(RegistrationListSettings settings) {
        return std::make_unique<ClientRegistrationList>(std::move(settings));
    }

    FileLocation At(const std::string& name) const { return FileLocation((m_folder / name).c_str()); }
    std::string Path(const std::string& name) const { return m_folder / name; }
    void WriteList(const std::string& content) const { WriteWholeFile(Path("registrationlist.txt"), content); }
    std::string ReadList() const { return ReadWholeFile(Path("registrationlist.txt")); }
    bool Exists(const std::string& name) const { return ::access(Path(name).c_str(), F_OK) == 0; }

    static ClientRegistrationListItem Item(const ClientRegistrationList& list, std::uint64_t id) {
        ClientRegistrationListItem item;
        EXPECT_TRUE(list.GetItem(id, item)) << id;
        return item;
    }

    TemporaryFolder m_folder;
    std::uint64_t m_storedSequence = 0;
};

TEST_F(ClientRegistrationListTest, AListInCanonicalFormRoundTripsByteForByte) {
    std::uint32_t now = NowInSecondsForTest();
    std::string fixture =
        FullLine(101, "10.0.0.1", 1, now, "0\t0\t0\t0\t0\t0\t0\t0\t0\t\t\t0") +
        FullLine(202, "Relay:192.168.1.20", 2, now - 10,
                 "7\t1\t12\t1\t101\t3\t44\t1\t19\t192.168.0.0/16\t00-1a-2b-3c-4d-5e\t1") +
        FullLine(303, "2001:db8::7", 3, now - 3 * kDay, "0\t0\t0\t0\t202\t7\t5\t0\t0\t2001:db8::/32\t\t0") +
        FullLine(4294967296000, "fe80::1", 4, now + 50, "1\t0\t0\t0\t0\t0\t0\t0\t0\t\tff-ff-ff-ff-ff-ff\t0");
    WriteList(fixture);
    auto list = Load();
    list->WriteNow();
    EXPECT_EQ(ReadList(), fixture);
    EXPECT_FALSE(Exists("~registrationlist.txt"));
    EXPECT_FALSE(Exists("InvalidRegistrationList.txt"));
}

TEST_F(ClientRegistrationListTest, CorruptLinesAreSkippedLoggedAndKeptAsideWhileTheGoodItemsStay) {
    std::uint32_t now = NowInSecondsForTest();
    std::string good1 = ShortLine(5, "10.0.0.5", 1, now);
    std::string good2 = ShortLine(6, "10.0.0.6", 2, now);
    std::string original = good1 + "x\t10.0.0.9\t3\t1\n" + good2 + "8\tnot an address\t4\t1\n";
    WriteList(original);

    StartLogging();
    auto* writer = new RecordingLogWriter({"critical"});
    {
        LogWriterRegistration registration(LogManager::Instance(), std::unique_ptr<LogWriter>(writer));
        auto list = Load();
        LogManager::Instance().Flush();
        EXPECT_EQ(writer->Written(),
                  std::vector<std::string>{"critical: Client registration list had 2 corrupt lines."});
        ListPL<ClientRegistrationListItem> items;
        list->CopyItems(items);
        EXPECT_EQ(items.Count(), 2u);
        // Written back at once, without the bad lines; the file as it was is kept for the administrator.
        EXPECT_EQ(ReadWholeFile(Path("InvalidRegistrationList.txt")), original);
        EXPECT_EQ(ReadList().substr(0, 2), "5\t");
        EXPECT_EQ(ReadList().find("not an address"), std::string::npos);
    }
    StopLogging();
    EXPECT_EQ(Load()->CountChildren(0), 0u);  // the rewritten file loads cleanly
}

TEST_F(ClientRegistrationListTest, ARepeatedComputerIDKeepsTheLaterLineAndLosesNothingElse) {
    std::uint32_t now = NowInSecondsForTest();
    WriteList(FullLine(5, "10.0.0.5", 1, now, "0\t0\t0\t0\t6") + ShortLine(6, "10.0.0.6", 2, now) +
              FullLine(7, "10.0.0.7", 3, now, "0\t0\t0\t0\t6") + ShortLine(5, "10.0.0.9", 4, now - 5));
    auto list = Load();
    ListPL<ClientRegistrationListItem> items;
    list->CopyItems(items);
    EXPECT_EQ(items.Count(), 3u);
    EXPECT_EQ(Item(*list, 5).address, IPAddress(10, 0, 0, 9));
    EXPECT_EQ(Item(*list, 5).parentID, 0u);
    EXPECT_EQ(list->CountChildren(6), 1u);  // the later line of 5 names no parent
    EXPECT_FALSE(Exists("InvalidRegistrationList.txt"));
}

TEST_F(ClientRegistrationListTest, SlotsAreRenumberedAtLoadAndRetiredSlotsAreReused) {
    std::uint32_t now = NowInSecondsForTest();
    WriteList(ShortLine(30, "10.0.0.30", 5, now - 2 * kDay) + ShortLine(10, "10.0.0.10", 5, now) +
              ShortLine(20, "10.0.0.20", 9, now - 3 * kDay));
    auto list = Load();
    // Ordered by slot, equal slots by ID.
    EXPECT_EQ(Item(*list, 10).slot, 1u);
    EXPECT_EQ(Item(*list, 30).slot, 2u);
    EXPECT_EQ(Item(*list, 20).slot, 3u);

    // 30 and 20 are more than a day old: retired. A new computer takes the lowest retired slot, and
    // the retired item moves to the end.
    EXPECT_EQ(list->AssignSlot(40), 2u);
    EXPECT_EQ(Item(*list, 30).slot, 4u);
    // A listed computer keeps its slot unless a lower one is free.
    EXPECT_EQ(list->AssignSlot(10), 1u);
    EXPECT_EQ(list->AssignSlot(20), 3u);

    list->Register(40, 2, Registration(0, "10.0.0.40"));
    EXPECT_EQ(Item(*list, 40).slot, 2u);
}

TEST_F(ClientRegistrationListTest, ARegistrationKeepsTheNotificationStateAndRaisesTheSequence) {
    std::uint32_t old = NowInSecondsForTest() - 2 * kDay;
    // An own record with a sequence above the stored setting raises it at load.
    WriteList(FullLine(5, "10.0.0.5", 1, old, "0\t1\t12\t0\t0\t7\t40\t0\t19") +
              FullLine(6, "10.0.0.6", 2, old, "0\t0\t0\t0\t0\t9\t88\t0\t0"));
    auto list = Load();
    EXPECT_EQ(list->CopyServerSequences(), (std::map<std::uint32_t, std::uint64_t>{{7, 40}, {9, 88}}));

    ClientRegistrationData data = Registration(6, "10.0.0.55");
    data.regSequenceNumber = 4;
    data.wakeOnLAN = ParseWakeOnLANAdapterInfo("00-1a-2b-3c-4d-5e_10.0.0.0/8_10.0.0.55_1");
    list->Register(5, 4, data);

    ClientRegistrationListItem item = Item(*list, 5);
    EXPECT_EQ(item.slot, 4u);
    EXPECT_EQ(item.updateSequence, 12u);
    EXPECT_EQ(item.resendMaximum, 19u);
    EXPECT_FALSE(item.resendPending);
    EXPECT_EQ(item.originServer, kThisServerID);
    EXPECT_EQ(item.originSequence, 41u);
    EXPECT_EQ(item.regSequenceNumber, 4u);
    EXPECT_EQ(item.subnet, ParseIPSubnet("10.0.0.0/8"));
    EXPECT_TRUE(item.canForwardWoL);
    EXPECT_GE(item.regTime, NowInSecondsForTest() - 1);
    EXPECT_EQ(list->CopyServerSequences()[kThisServerID], 41u);
    EXPECT_EQ(list->CountChildren(6), 1u);

    list->MarkPendingNotification(5, 30, 10);
    item = Item(*list, 5);
    EXPECT_TRUE(item.resendPending);
    EXPECT_EQ(item.updateSequence, 30u);
    EXPECT_EQ(item.resendMaximum, 19u);
    list->SetPendingValue(5, 31);
    list->SetPendingValue(99, 31);  // not listed: nothing
    EXPECT_EQ(Item(*list, 5).updateSequence, 31u);
    EXPECT_FALSE(list->GetItem(99, item));

    list->WriteNow();
    EXPECT_EQ(m_storedSequence, 41u);
}

TEST_F(ClientRegistrationListTest, RoutesGoThroughTheChildOfThisRelayAndFallBackToTheComputer) {
    auto list = Load();
    list->Register(50, 1, Registration(kOwnComputerID, "10.0.0.50", true));
    list->Register(60, 2, Registration(50, "10.0.0.60"));
    list->Register(70, 3, Registration(kOwnComputerID, "10.0.0.70"));
    list->Register(80, 4, Registration(90, "10.0.0.80"));
    list->Register(90, 5, Registration(80, "10.0.0.90", true));
    list->Register(61, 6, Registration(55, "10.0.0.61"));

    EXPECT_EQ(list->GetRoute(60), IPAddress(10, 0, 0, 50));
    EXPECT_EQ(list->GetRoute(70), IPAddress(10, 0, 0, 70));
    EXPECT_EQ(list->GetRoute(80), IPAddress(10, 0, 0, 80));  // 80 and 90 name each other
    EXPECT_EQ(list->GetRoute(61), IPAddress(10, 0, 0, 61));  // 55 is no registered computer
    EXPECT_EQ(list->CountChildren(kOwnComputerID), 2u);
    EXPECT_EQ(list->CountChildRelays(kOwnComputerID), 1u);
    try {
        list->GetRoute(999);
        FAIL();
    } catch (const ExceptionPL& error) {
        EXPECT_STREQ(error.what(), "Unknown client id");
    }

    RegistrationListSettings settings = Settings();
    settings.useRelayTreeForPings = false;
    settings.listLocation = At("other.txt");
    auto direct = Load(settings);
    direct->Register(50, 1, Registration(kOwnComputerID, "10.0.0.50", true));
    direct->Register(60, 2, Registration(50, "10.0.0.60"));
    EXPECT_EQ(direct->GetRoute(60), IPAddress(10, 0, 0, 60));
}

TEST_F(ClientRegistrationListTest, ChildLimitsHoldWhileTheirWindowIsOpen) {
    RegistrationListSettings settings = Settings();
    settings.maxChildCount = 1;
    auto list = Load(settings);
    EXPECT_TRUE(list->HasRoomForChild(kOwnComputerID, false));
    list->Register(50, 1, Registration(kOwnComputerID, "10.0.0.50"));
    EXPECT_TRUE(list->HasRoomForChild(kOwnComputerID, false));  // full, but no window yet
    list->StartChildCountWindow();
    EXPECT_FALSE(list->HasRoomForChild(kOwnComputerID, false));
    EXPECT_TRUE(list->HasRoomForChild(50, false));

    EXPECT_TRUE(list->HasRoomForChild(kOwnComputerID, true));
    list->StartChildRelayCountWindow();
    EXPECT_FALSE(list->HasRoomForChild(kOwnComputerID, true));
}

TEST_F(ClientRegistrationListTest, TheExpirationPeriodDropsOnlyOldItemsAndNeverFutureOnes) {
    std::uint32_t now = NowInSecondsForTest();
    std::string young = ShortLine(1, "10.0.0.1", 1, now - 14 * kDay);
    std::string old = ShortLine(2, "10.0.0.2", 2, now - 16 * kDay);
    std::string future = ShortLine(3, "10.0.0.3", 3, now + 30 * kDay);  // the clock was set back
    for (std::uint32_t days : {0u, 1u}) {
        WriteList(young + old + future);
        RegistrationListSettings settings = Settings();
        settings.permanentExpirationPeriodDays = days;
        Load(settings)->WriteNow();
        std::string written = ReadList();
        EXPECT_EQ(written.find("\n2\t") == std::string::npos, days == 1) << days;
        EXPECT_NE(written.find("\n3\t"), std::string::npos) << days;
        EXPECT_EQ(written.substr(0, 2), "1\t") << days;
    }
    // A future registration is not retired either: its slot stays its own.
    WriteList(future);
    EXPECT_EQ(Load()->AssignSlot(9), 2u);
}

TEST_F(ClientRegistrationListTest, AListMissingBesideItsTemporaryFileIsTakenFromIt) {
    std::string content = ShortLine(5, "10.0.0.5", 1, NowInSecondsForTest());
    WriteWholeFile(Path("~registrationlist.txt"), content);
    auto list = Load();
    EXPECT_EQ(Item(*list, 5).address, IPAddress(10, 0, 0, 5));
    EXPECT_FALSE(Exists("~registrationlist.txt"));
}

TEST_F(ClientRegistrationListTest, AnUnreadableListIsMovedAsideAndTheNextLoadStartsEmpty) {
    ASSERT_EQ(::mkdir(Path("registrationlist.txt").c_str(), 0700), 0);
    EXPECT_ANY_THROW(Load());
    EXPECT_TRUE(Exists("InvalidRegistrationList.txt"));
    ListPL<ClientRegistrationListItem> items;
    Load()->CopyItems(items);
    EXPECT_TRUE(items.IsEmpty());
}

TEST_F(ClientRegistrationListTest, AFailedWriteReportsTheListNotAvailableAndChangesNothing) {
    RegistrationListSettings settings = Settings();
    settings.storeThisServerSequence = [](std::uint64_t) { throw ExceptionPL("registry refused"); };
    WriteList(ShortLine(5, "10.0.0.5", 1, NowInSecondsForTest()));
    std::string before = ReadList();
    auto list = Load(settings);
    list->Register(6, 2, Registration(0, "10.0.0.6"));
    try {
        list->WriteNow();
        FAIL();
    } catch (const ClientRegistrationListNotAvailable& error) {
        EXPECT_STREQ(error.what(), "Client Registration List not available at expected location.");
    }
    EXPECT_EQ(ReadList(), before);
}

// A writer killed at any moment leaves the old list or the new one, whole.
TEST_F(ClientRegistrationListTest, AWriterKilledMidWriteLeavesACompleteList) {
    std::uint32_t now = NowInSecondsForTest();
    std::string original;
    for (std::uint64_t id = 1; id <= 1'000; ++id) original += ShortLine(id, "10.0.0.1", id, now);
    WriteList(original);
    std::string rewritten;
    std::chrono::microseconds writeTime;
    {
        auto list = Load();
        auto start = std::chrono::steady_clock::now();
        list->WriteNow();
        writeTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        rewritten = ReadList();  // the canonical form of the same items
    }
    int newListsSeen = 0;
    // Kills spread over the first writes of the child, whatever one write takes on this machine.
    for (int eighths : {0, 1, 3, 5, 8, 11, 14, 17, 20, 24}) {
        auto delay = writeTime * eighths / 8;
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        if (child == 0) {
            auto list = Load();
            for (std::uint64_t id = 30'001; id <= 30'100; ++id)
                list->Register(id, static_cast<std::uint32_t>(id), Registration(0, "10.0.0.2"));
            char signal = 1;
            if (::write(ready[1], &signal, 1) != 1) ::_exit(1);
            list->WriteNow();
            if (::write(ready[1], &signal, 1) != 1) ::_exit(1);
            for (;;) list->WriteNow();
        }
        ASSERT_GT(child, 0);
        char signal = 0;
        ASSERT_EQ(::read(ready[0], &signal, 1), 1);
        // The last kill comes after a whole write, however slow the machine: a new list must be seen.
        if (eighths == 24) ASSERT_EQ(::read(ready[0], &signal, 1), 1);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);

        auto list = Load();
        ListPL<ClientRegistrationListItem> items;
        list->CopyItems(items);
        EXPECT_TRUE(items.Count() == 1'000u || items.Count() == 1'100u) << items.Count();
        if (items.Count() == 1'100u) ++newListsSeen;
        EXPECT_FALSE(Exists("InvalidRegistrationList.txt"));
        list.reset();
        WriteWholeFile(Path("registrationlist.txt"), rewritten);
    }
    EXPECT_GT(newListsSeen, 0);
}

TEST_F(ClientRegistrationListTest, InstallingAServerListSeedsTheSequencesOnlyWhenItIsValid) {
    WriteWholeFile(Path("ReplicationServerList.xml"), "<L><S ServerID='3' ServerName='c'/></L>");
    auto list = Load();
    ReplicationServerList servers;
    list->GetReplicationServerList(servers);
    EXPECT_TRUE(servers.Contains(3));

    WriteWholeFile(Path("received.xml"), "<L><S ServerID='4' ServerName='d'/><S ServerID='4' ServerName='e'/></L>");
    EXPECT_ANY_THROW(list->InstallReplicationServerList(At("received.xml")));
    list->GetReplicationServerList(servers);
    EXPECT_EQ(servers.GetServerIDs(), std::set<std::uint32_t>{3});
    EXPECT_TRUE(list->CopyServerSequences().empty());

    WriteWholeFile(Path("received.xml"), "<L><S ServerID='4' ServerName='d'/><S ServerID='9' ServerName='e'/></L>");
    list->Register(5, 1, Registration(0, "10.0.0.5"));
    list->InstallReplicationServerList(At("received.xml"));
    list->GetReplicationServerList(servers);
    EXPECT_EQ(servers.GetServerIDs(), (std::set<std::uint32_t>{4, 9}));
    EXPECT_EQ(list->CopyServerSequences(), (std::map<std::uint32_t, std::uint64_t>{{4, 0}, {kThisServerID, 4}, {9, 0}}));
}

// The process-wide list reads its location from the registry and is built again after a failure.
// It runs in a child process, which leaves without destroying the list.
TEST_F(ClientRegistrationListTest, TheProcessWideListIsBuiltAgainAfterAFailedConstruction) {
    TemporaryRegistry registry;
    ASSERT_EQ(RunKvrreg({"set", "HKLM\\Software\\Veltra\\Daruravidu Server\\ClientRegister",
                         "RegistrationList Location", "string", Path("registrationlist.txt")})
                  .exitStatus,
              0);
    ASSERT_EQ(::mkdir(Path("registrationlist.txt").c_str(), 0700), 0);
    pid_t child = ::fork();
    if (child == 0) {
        bool failedFirst = false;
        try {
            ClientRegistrationList::Instance();
        } catch (const std::exception&) {
            failedFirst = true;
        }
        ClientRegistrationList& list = ClientRegistrationList::Instance();
        list.Register(5, 1, Registration(0, "10.0.0.5"));
        list.WriteNow();
        ::_exit(failedFirst && &list == &ClientRegistrationList::Instance() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadList().substr(0, 2), "5\t");
}

}  // namespace
