#include "support/site_parent.h"

#include <filesystem>

#include "support/test_pki.h"

namespace {

std::string SiteNameOf(const std::string& siteURL) {
    return siteURL.substr(siteURL.rfind('/') + 1);
}

// The value of "url=" in the request line's query, up to the next "&" (the relay escapes only "&",
// "#", "+", "%", blanks and controls, none of which the test sites hold).
std::string QueriedSiteURL(const std::string& request) {
    const std::size_t start = request.find("?url=");
    if (start == std::string::npos) return "";
    const std::size_t end = request.find_first_of("& ", start + 5);
    return request.substr(start + 5, end - start - 5);
}

std::string HeaderValue(const std::string& request, const std::string& name) {
    const std::size_t start = request.find("\r\n" + name + ": ");
    if (start == std::string::npos) return "";
    const std::size_t value = start + name.size() + 4;
    return request.substr(value, request.find("\r\n", value) - value);
}

}  // namespace

std::string MastheadFixtureFile(const std::string& name) {
    return TestPKIFolder() + "/mastheads/" + name;
}

std::string MastheadRootsFolder() {
    return TestPKIFolder() + "/mastheads/roots";
}

void PlaceSiteMastheads(const std::string& folder) {
    std::filesystem::create_directories(folder);
    for (const char* name : {"demo.ezqm", "action.azqm"})
        std::filesystem::copy_file(MastheadFixtureFile(name), folder + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
}

Signer DemoSiteSigner() {
    return {MastheadFixtureFile("daruravidu-site.pem"), MastheadFixtureFile("daruravidu-site.key"),
            MastheadFixtureFile("daruravidu-registrar.pem")};
}

Signer ActionSiteSigner() {
    return {MastheadFixtureFile("action-site.pem"), MastheadFixtureFile("action-site.key"),
            MastheadFixtureFile("action-registrar.pem")};
}

std::string ArchivedSiteBytes(const std::string& siteURL, std::uint32_t version, const std::vector<SiteFile>& files,
                              const ArchivedSiteParts& parts) {
    std::vector<ArchiveMember> members;
    if (parts.withList) {
        FileListOptions options;
        options.version = parts.listVersion != 0 ? parts.listVersion : version;
        members.push_back(
            {"__sdirlist", SignedMessage(FileListForFiles(files, options), parts.signer.value_or(DemoSiteSigner()))});
    }
    if (!parts.manifestName.empty()) {
        const std::string manifest =
            parts.manifest.empty() ? "1\r\n" + std::to_string(version) + "\r\n" + siteURL + "\r\n" : parts.manifest;
        members.push_back({parts.manifestName, manifest});
    }
    for (const SiteFile& file : parts.archivedFiles.value_or(files))
        members.push_back({file.name, file.content, file.modified});
    return SiteArchiveBytes(members);
}

SiteParent::SiteParent(ScriptedParent& parent) : m_parent(parent) {
    m_parent.Respond(kParentGatherPath, [this](const std::string& request) { return AnswerDirectoryRequest(request); });
}

SiteParent::~SiteParent() {
    m_parent.Respond(kParentGatherPath, nullptr);
}

std::string SiteParent::VersionPath(const std::string& siteURL, std::uint32_t version) {
    return "/sites/" + SiteNameOf(siteURL) + "/v" + std::to_string(version) + "/";
}

std::string SiteParent::ManyVersionPath(const std::string& siteURL, std::uint32_t version) {
    return "/sites/" + SiteNameOf(siteURL) + "/m" + std::to_string(version) + "/";
}

std::string SiteParent::SignedListBytes(std::uint32_t version, const std::vector<SiteFile>& files,
                                        const Signer& signer, const ListFields& headers,
                                        const std::string& manyVersion) {
    FileListOptions options;
    options.version = version;
    options.sourceVersions = manyVersion;
    options.extraHeaders = headers;
    return CompressedFileBytes(SignedMessage(FileListForFiles(files, options), signer));
}

void SiteParent::PublishVersion(const std::string& siteURL, std::uint32_t version, const std::vector<SiteFile>& files,
                                const Signer& signer, const std::map<std::uint32_t, std::vector<SiteFile>>& earlier) {
    const std::string folder = VersionPath(siteURL, version);
    std::string marks(1, '0');
    std::vector<ArchiveMember> differenceSites;
    for (std::uint32_t distance = 1; distance <= version; ++distance) {
        const auto from = earlier.find(version - distance);
        marks.push_back(from == earlier.end() ? '0' : '1');
        if (from == earlier.end()) continue;
        const std::string name = "__diffsite" + std::to_string(from->first);
        m_parent.Serve(folder + name, UpdateArchiveBytes(from->second, files));
        differenceSites.push_back({name, SiteArchiveContent(UpdateArchiveMembers(from->second, files)), 0});
    }
    while (marks.size() > 1 && marks.back() == '0') marks.pop_back();
    if (!differenceSites.empty()) m_parent.Serve(folder + "__alldiffs", SiteArchiveBytes(differenceSites));
    m_parent.Serve(folder + "__fullsite", FullSiteArchiveBytes(files));
    const ListFields headers = {{"fullsiteurl", m_parent.URL(folder + "__fullsite")},
                                {"sitediffbaseurl", m_parent.URL(folder + "__diffsite")},
                                {"sitedifflist", marks}};
    Published published{version, false, SignedListBytes(version, files, signer, headers), ""};
    std::lock_guard<std::mutex> lock(m_lock);
    m_sites[siteURL] = std::move(published);
}

void SiteParent::PublishManyVersion(const std::string& siteURL, std::uint32_t version, const std::string& manyVersion,
                                    const std::vector<SiteFile>& files, const Signer& signer) {
    const std::string folder = ManyVersionPath(siteURL, version);
    m_parent.Serve(folder + "__fullsite_", FullSiteArchiveBytes(files));
    m_parent.Serve(folder + "single/__fullsite", FullSiteArchiveBytes(files));
    m_parent.Serve(folder + "single/__sdirlistc", SignedListBytes(version, files, signer));
    const std::string headers = "x-kvrgather-fullsite-url: " + m_parent.URL(folder + "__fullsite_") + "\r\n" +
                                "x-kvrgather-single-fullsite-url: " + m_parent.URL(folder + "single/__fullsite") +
                                "\r\n";
    Published published{version, true, SignedListBytes(version, files, signer, {}, manyVersion), headers};
    std::lock_guard<std::mutex> lock(m_lock);
    m_sites[siteURL] = std::move(published);
}

std::size_t SiteParent::DirectoryRequestsFor(const std::string& siteURL) const {
    std::size_t count = 0;
    for (const std::string& request : m_parent.Requests())
        count += ScriptedParent::PathOf(request) == kParentGatherPath && QueriedSiteURL(request) == siteURL;
    return count;
}

ScriptedHTTPServer::Reply SiteParent::AnswerDirectoryRequest(const std::string& request) {
    Published site;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const auto found = m_sites.find(QueriedSiteURL(request));
        if (found == m_sites.end()) return {MakeHTTPReply("not found", "", "HTTP/1.0 404 Not Found")};
        site = found->second;
    }
    const bool current = !site.manyVersion &&
                         HeaderValue(request, "x_veltra_client_site_version") == std::to_string(site.version);
    return {MakeHTTPReply(current ? "" : site.list, site.headers)};
}
