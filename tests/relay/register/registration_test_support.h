// Helpers of the client-register request tests: a registration list in a folder of its own, a client
// writer that keeps the reply, a log functor that keeps the lines.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/register/client_registration_list.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

inline std::uint32_t NowInSecondsForTest() { return static_cast<std::uint32_t>(std::time(nullptr)); }

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

class RecordingClientWriter : public ClientWriter {
  public:
    bool WriteClient(const Byte* data, std::size_t length) override {
        reply.append(reinterpret_cast<const char*>(data), length);
        return true;
    }
    bool ReadClient(Byte*, std::size_t, std::size_t& count) override {
        count = 0;
        return false;
    }
    std::string reply;
};

class RecordingLogFunctor : public LogFunctor {
  public:
    void Log(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

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
