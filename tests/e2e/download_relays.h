// Relays that fetch downloads from one another, for end-to-end tests: a parent seeded with an
// action's download list and files as an administrator puts them there (the list in the inbox, the
// files in the cache's sha1 folder), children that name their parent in the agent's "Server1", and
// the access logs, in which every request a relay answered is one line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/relay_process.h"

struct DownloadFile {
    std::string bytes;
    std::string sha1;  // lower-case hexadecimal
};

// `count` distinct files of `size` bytes each.
std::vector<DownloadFile> MakeDownloadFiles(std::size_t count, std::size_t size);

// The action's download request file: "+", the action, then per file its URL
// ("http://site.invalid/<index>.bin"), size and SHA-1.
std::string DownloadList(std::uint32_t action, const std::vector<DownloadFile>& files);

// Writes the action's list into the relay's inbox and the files into its sha1 folder (folders made
// when missing, so a relay not started yet may be seeded).
void SeedAction(const RelayProcess& relay, std::uint32_t action, const std::vector<DownloadFile>& files);
// Writes the file into the relay's sha1 folder only: a file known by its SHA-1 alone.
void SeedFile(const RelayProcess& relay, const DownloadFile& file);
// Waits until the relay took the action's list from its inbox into its cache.
bool AwaitActionTaken(const RelayProcess& relay, std::uint32_t action,
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

// The path of a relay's folder: "<relay folder>/wwwroot/vtmirror/downloads/<path>".
std::string DownloadsFolder(const RelayProcess& relay, const std::string& path = "");

// "http://127.0.0.1:<port>".
std::string LoopbackURL(std::uint16_t port);
// The relay's parent, as the agent names it ("__Relay_Control_Server1"); and how it fetches:
// "_KVRGather_Comm_UseUrlMoniker" 1 (libcurl) or 0 (the socket client).
void UseParent(RelayProcess& relay, const std::string& parentURL, bool urlMoniker = true);
// The relay writes its access log into "<relay folder>/accesslog".
void KeepAccessLog(RelayProcess& relay);
// The requests "<method> <target>" in the relay's access logs so far.
std::size_t CountRequests(const RelayProcess& relay, const std::string& method, const std::string& target);

// The body of the GET once it answers 200, asked every `interval`; "no file" when it never did within
// the limit.
std::string AwaitServed(const RelayProcess& relay, const std::string& target,
                        std::chrono::milliseconds limit = std::chrono::seconds(90),
                        std::chrono::milliseconds interval = std::chrono::milliseconds(500));
// The status line of a reply, without its line end.
std::string StatusLineOf(const std::string& reply);
std::string BodyOf(const std::string& reply);
// `count` GETs of the target at once, each on a connection of its own; the status lines of the replies.
std::vector<std::string> Storm(const RelayProcess& relay, const std::string& target, int count);
