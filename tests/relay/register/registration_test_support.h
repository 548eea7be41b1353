// Helpers of the client-register request tests: a registration list in a folder of its own, a client
// writer that keeps the reply, a log functor that keeps the lines, the notification services of a
// relay whose gather and download sides are stand-ins, and requests served through the dispatch.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/const_data_reader.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/registration_request.h"
#include "relay/register/relay_notifications.h"
#include "support/client_settings.h"
#include "support/recording_client.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

// A list loaded from "registrationlist.txt" in its own folder, holding the lines given.
class ListInFolder {
  public:
    explicit ListInFolder(const std::string& lines = "") {
        WriteWholeFile(m_folder / "registrationlist.txt", lines);
        RegistrationListSettings settings;
        settings.listLocation = FileLocation((m_folder / "registrationlist.txt").c_str());
        settings.replicationServerListLocation = FileLocation((m_folder / "ReplicationServerList.xml").c_str());
        m_list = std::make_unique<ClientRegistrationList>(std::move(settings));
    }
    ClientRegistrationList& List() { return *m_list; }
    ClientRegistrationListItem Item(std::uint64_t id) const {
        ClientRegistrationListItem item;
        EXPECT_TRUE(m_list->GetItem(id, item)) << id;
        return item;
    }

  private:
    TemporaryFolder m_folder;
    std::unique_ptr<ClientRegistrationList> m_list;
};

// The first four fields of a registration list line: a client registered at `regTime`.
inline std::string ListLine(std::uint64_t id, std::uint32_t regTime, std::uint32_t slot = 1) {
    return std::to_string(id) + "\t10.0.0." + std::to_string(id % 250 + 1) + "\t" + std::to_string(slot) + "\t" +
           std::to_string(regTime) + "\n";
}

// A reply with its Date value replaced by "<date>".
inline std::string WithoutDate(const std::string& reply) {
    static const std::regex date("Date: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT\r\n");
    return std::regex_replace(reply, date, "Date: <date>\r\n", std::regex_constants::format_first_only);
}

// The whole plain-text reply the client-register plug-in sends with status 200.
inline std::string PlainTextReply(const std::string& body, const std::string& headerLines = "") {
    return "HTTP/1.1 200 OK\r\nDate: <date>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + headerLines +
           "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nx-veltra-itclient-status: 1\r\n\r\n" + body;
}

// A gather state that knows no gathered site and passes every new version on.
class PassingGatherState : public GatherStateNotifications {
  public:
    bool NotifyGatherAction(std::uint32_t, bool) override { return true; }
    bool NotifyGatherHash(std::uint32_t, std::uint32_t, bool) override { return true; }
    std::vector<GatheredSiteVersion> ListSiteVersions() override { return {}; }
};

// The notification services a request reaches, with stand-in local actions: every notification
// passes on, no site is gathered.
class StandInNotifications {
  public:
    explicit StandInNotifications(GatherOptionsManager& options)
        : m_notifications(options, m_gatherState, m_downloads, m_stop) {}
    NotificationServices& Services() { return m_notifications.Services(); }

  private:
    PassingGatherState m_gatherState;
    PassingDownloadPings m_downloads;
    Event m_stop;
    RelayNotifications m_notifications;
};

// Requests from 127.0.0.1 served through the plug-in's dispatch (HandleRegistrationRequest), with a
// relay configuration, stand-in notification services, a stop event and a list of their own. Build
// it after the test's TemporaryRegistry.
class DispatchedRequests {
  public:
    explicit DispatchedRequests(const std::string& listLines = "") : m_list(listLines) {}

    // The whole reply to a request of the URL and method with the body; `served` receives the
    // dispatch's answer.
    std::string Serve(const std::string& url, std::optional<std::string> method, const std::string& body = "",
                      bool* served = nullptr) {
        RecordingClientWriter writer;
        ConstDataReader bodyReader{ConstData(body)};
        const ClientRegisterConfiguration configuration(kClientRegisterComponent);
        EventStopFunctor stop(m_stop);
        RegistrationRequest request{.writer = writer,
                                    .body = bodyReader,
                                    .configuration = configuration,
                                    .list = m_list.List(),
                                    .url = url,
                                    .method = std::move(method),
                                    .clientAddress = IPAddress(127, 0, 0, 1),
                                    .contentLength = body.size(),
                                    .log = m_log,
                                    .stop = stop,
                                    .relayConfiguration = m_relayConfiguration,
                                    .notifications = m_notifications.Services()};
        const bool answer = HandleRegistrationRequest(request);
        if (served) *served = answer;
        return writer.reply;
    }

    ClientRegistrationList& List() { return m_list.List(); }
    ClientRegistrationListItem Item(std::uint64_t id) const { return m_list.Item(id); }
    const std::vector<std::string>& LoggedLines() const { return m_log.lines; }

  private:
    GatherOptionsManager m_relayConfiguration;
    StandInNotifications m_notifications{m_relayConfiguration};
    Event m_stop;
    ListInFolder m_list;
    RecordingLogFunctor m_log;
};
