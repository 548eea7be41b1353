#include "relay/gather/gather_mirror_site_directory.h"

#include <array>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "base/character_classes.h"
#include "foundation/file_item.h"
#include "foundation/file_reader.h"
#include "foundation/text_ranges.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_file_url.h"
#include "relay/gather/parent_version_query.h"
#include "relay/gather/site_version.h"

namespace {

struct DirectoryQuery {
    std::string siteURL;
    std::uint32_t expectedVersion = 0;
    std::uint32_t localVersion = 0;
    std::string manyVersionSHA1;
};

// Blanks skipped, digits only; anything else, or a value beyond 32 bits, is 0.
std::uint32_t LenientDecimal(std::string_view text) {
    const std::uint64_t value = ParseDecimal64(ConstData(text));
    return value > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(value);
}

DirectoryQuery ParseDirectoryQuery(const GatherMirrorRequest& request) {
    const NameValueList pairs = RequiredQueryPairs(request);
    DirectoryQuery query;
    query.localVersion = LenientDecimal(request.headers.clientSiteVersion);
    for (const auto& pair : pairs) {
        const std::string_view name = pair.first.GetConstData().View();
        const std::string_view value = pair.second.GetConstData().View();
        if (Ascii::EqualIgnoringCase(name, "url")) query.siteURL = value;
        if (Ascii::EqualIgnoringCase(name, "expectedVersion")) query.expectedVersion = LenientDecimal(value);
        if (Ascii::EqualIgnoringCase(name, "localVersion")) query.localVersion = LenientDecimal(value);
        if (Ascii::EqualIgnoringCase(name, "manyVersionSHA1")) query.manyVersionSHA1 = value;
    }
    if (query.siteURL.empty())
        throw KVRGatherError("No url parameter in URL query!", GatherMirrorStatus::kUnknownCommand);
    return query;
}

// The relay's committed copy of the site as the reply describes it: its kind and the two versions
// compared.
struct SiteCopy {
    bool manyVersion = false;
    std::uint32_t expected = 0;
    std::uint32_t committed = 0;
    std::uint32_t committedVersion = 0;
    // The SHA-1 text of the committed many-version list; empty for another site.
    std::string digest;
};

SiteCopy ReadSiteCopy(GatherState& state, const DirectoryQuery& query) {
    SiteCopy copy;
    const ManyVersionList committedList = state.GetCommittedManyVersion(query.siteURL);
    copy.manyVersion = !query.manyVersionSHA1.empty() && !IsManyVersionEmpty(committedList);
    copy.committedVersion = state.GetCommittedVersion(query.siteURL);
    if (copy.manyVersion) {
        copy.expected = state.GetExpectedVersionCRC(query.siteURL, false);
        copy.committed = state.GetCommittedVersionCRC(query.siteURL);
        copy.digest = ManyVersionDigestText(committedList);
    } else {
        copy.expected = state.GetExpectedVersion(query.siteURL, false);
        copy.committed = copy.committedVersion;
    }
    return copy;
}

// The client expects a version this relay does not: when the root knows a third one, the root's is
// gathered and the client told to come back.
void ResolveVersionConflict(GatherMirrorRequest& request, const DirectoryQuery& query, const SiteCopy& copy) {
    if (query.expectedVersion == 0 || query.expectedVersion == copy.expected) return;
    if (request.options.GetResolveVersionConflicts() == 0) return;
    const std::uint32_t root =
        GetCurrentVersionFromRoot(query.siteURL, copy.manyVersion, request.gatherState, request.stop);
    if (root == copy.expected) return;
    request.gatherState.QueueSiteGatherRequest(query.siteURL, SiteVersion(root, copy.manyVersion));
    throw KVRGatherError(
        "Site not yet available: expected site version on relay did not match root version.  Gathering new "
        "version.",
        GatherMirrorStatus::kVersionConflictGatherQueued);
}

// A mirror file the reply names with its size, opened now so that it is there when it is sent.
struct OpenedFile {
    std::unique_ptr<PosixPlatform::FileReadingPath> file;
    std::uint64_t size = 0;
};

OpenedFile OpenMirrorFile(const FileLocation& location) {
    OpenedFile opened{std::make_unique<PosixPlatform::FileReadingPath>(location)};
    opened.size = opened.file->GetSize();
    return opened;
}

// Everything the reply says after its fixed head, gathered before a byte of it is written.
struct DirectoryReply {
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<OpenedFile> keptOpen;
    // Absent for a current client.
    std::optional<OpenedFile> list;

    void AddURL(const char* name, std::string url) { headers.emplace_back(name, std::move(url)); }
    void AddFile(const char* urlName, const char* sizeName, std::string url, OpenedFile file) {
        headers.emplace_back(urlName, std::move(url));
        headers.emplace_back(sizeName, std::to_string(file.size));
        keptOpen.push_back(std::move(file));
    }
};

// The file system keeps the relay's own lower-case spelling of a digest; a client may send either.
std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<Byte>(c)]);
    return lower;
}

DirectoryReply PrepareDirectoryReply(GatherMirrorRequest& request, const DirectoryQuery& query,
                                     const SiteCopy& copy) {
    GatherState& state = request.gatherState;
    const std::string& url = query.siteURL;
    const FileLocation webRoot = request.options.GetWwwRootFolder();
    const auto urlOf = [&](const FileLocation& location, bool folder) {
        return MirrorFileURL(webRoot, location, folder, request.serverBaseURL);
    };
    DirectoryReply reply;
    if (copy.manyVersion) {
        reply.AddURL("x-kvr-http-local-addr", urlOf(request.options.GetGatherCacheFolder(), true));
        const FileLocation fullSite = state.GetFullSiteFile(url);
        reply.AddFile("x-kvrgather-fullsite-url", "x-kvrgather-fullsite-size", urlOf(fullSite, false),
                      OpenMirrorFile(fullSite));
        const FileLocation singleFullSite = state.GetSingleFullSiteFile(url);
        reply.AddFile("x-kvrgather-single-fullsite-url", "x-kvrgather-single-fullsite-size",
                      urlOf(singleFullSite, false), OpenMirrorFile(singleFullSite));
        if (IsSHA1Text(query.manyVersionSHA1)) {
            const FileLocation diffSite = state.GetDiffSiteFile(url, LowerCase(query.manyVersionSHA1));
            if (FileAttributes(diffSite).Exists())
                reply.AddFile("x-kvrgather-diffsite-url", "x-kvrgather-diffsite-size", urlOf(diffSite, false),
                              OpenMirrorFile(diffSite));
        }
        reply.AddURL("x-kvrgather-mdirlist-url", urlOf(state.GetMultiDirListFile(url, true), false));
        reply.AddURL("x-kvrgather-alldiffs-url", urlOf(state.GetAllDiffsFile(url), false));
    } else {
        reply.AddURL("x-kvr-http-local-addr",
                     urlOf(FileLocation(state.GetCommittedLocation(url).c_str()), true));
    }

    const bool current = request.headers.clientValid == "true" &&
                         (copy.manyVersion ? Ascii::EqualIgnoringCase(copy.digest, query.manyVersionSHA1)
                                           : copy.committedVersion == query.localVersion);
    if (!current) {
        const bool signedList = request.headers.directory == "signed";
        reply.list = OpenMirrorFile(copy.manyVersion ? state.GetMultiDirListFile(url, signedList)
                                                     : state.GetSingleDirListFile(url, signedList));
    }
    return reply;
}

void WriteText(ClientWriter& writer, std::string_view text) {
    writer.Write(ConstData(text));
}

void WriteDirectoryReply(ClientWriter& writer, const SiteCopy& copy, const DirectoryReply& reply) {
    char date[64];
    FormatCurrentHTTPDate(date, sizeof date, true);
    std::string head = "HTTP/1.1 200\r\n";
    head.append("Date: ").append(date).append("\r\n");
    head.append(
        "MIME-Version: 1.0\r\nExpires: 0\r\nPragma: no-cache\r\nCache-Control: private\r\n"
        "Cache-Control: no-cache\r\nContent-type: text/plain\r\n");
    head.append("x-veltra-directory-server-date: ").append(date).append("\r\n");
    head.append("x-kvr-gather-mirror-status: 1,")
        .append(std::to_string(copy.committedVersion))
        .append("\r\n");
    for (const auto& [name, value] : reply.headers)
        head.append(name).append(": ").append(value).append("\r\n");
    head.append("content-length: ")
        .append(std::to_string(reply.list ? reply.list->size : 0))
        .append("\r\n\r\n");
    WriteText(writer, head);
    if (reply.list) {
        std::array<Byte, kDirectoryListPieceSize> buffer;
        for (FileReadingLoop piece(OutputRange(buffer.data(), buffer.size()), *reply.list->file, 0,
                                   reply.list->size);
             piece.HasChunk(); piece.Advance())
            writer.Write(piece.Chunk());
    }
    writer.End();
}

}  // namespace

bool IsSHA1Text(std::string_view text) {
    if (text.size() != 40) return false;
    for (const char c : text)
        if (!Ascii::HexDigits().Contains(static_cast<Byte>(c))) return false;
    return true;
}

void HandleGatherCommand(GatherMirrorRequest& request) {
    const DirectoryQuery query = ParseDirectoryQuery(request);
    GatherState& state = request.gatherState;
    if (!state.HasCommittedLocation(query.siteURL)) {
        state.QueueSiteGatherRequest(query.siteURL, SiteVersion());
        throw KVRGatherError("Site not yet available: initiating first gather of site.",
                             GatherMirrorStatus::kFirstGatherQueued);
    }
    const SiteCopy copy = ReadSiteCopy(state, query);
    ResolveVersionConflict(request, query, copy);
    if (copy.committed != copy.expected || state.IsUpstreamCheckDue(query.siteURL))
        state.QueueSiteGatherRequest(query.siteURL, SiteVersion(copy.expected, copy.manyVersion));
    state.TouchLastRequested(query.siteURL);
    const DirectoryReply reply = PrepareDirectoryReply(request, query, copy);
    WriteDirectoryReply(request.writer, copy, reply);
}
