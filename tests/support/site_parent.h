// A parent that publishes signed content sites over a ScriptedParent, as a relay's gather finds them:
// the gather path answers each site directory request with the signed (and compressed) list of the
// site's current version, and each version's content lies under a folder of its own.
//
// Single-version site, version V of site "<name>" (the last segment of the site URL), under
// "/sites/<name>/v<V>/":
//   __fullsite          the full-site archive; the list's "fullsiteurl"
//   __diffsite<U>       the update archive from each earlier version U published with it; the list's
//                       "sitediffbaseurl" is "__diffsite" there and its "sitedifflist" marks them
//   __alldiffs          all of them in one archive (when there is any)
// The directory reply has an empty body when the request's "x_veltra_client_site_version" is V.
//
// Many-version site, under "/sites/<name>/m<V>/": "__fullsite_", the full site named in the reply's
// "x-kvrgather-fullsite-url"; "single/__fullsite" (the reply's "x-kvrgather-single-fullsite-url")
// and beside it "single/__sdirlistc", the version's single list.
//
// The mastheads and signers are the fixture's of tests/pki/pki-mastheads.sh: the daruravidu site
// "demosite" (its own masthead "demo.ezqm") and the operator sites of the action site ("action.azqm"),
// both signed by their site certificates.
//
// Thread-safe: the parent's connection threads read what the test publishes.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/scripted_parent.h"
#include "support/site_content.h"

inline constexpr const char* kParentGatherPath = "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe";
inline constexpr const char* kDemoSiteURL = "http://relay.example:52311/cgi-bin/bfgather.exe/demosite";
inline constexpr const char* kOperatorSiteURL = "http://relay.example:52311/cgi-bin/bfgather.exe/opsite1";

// A file of the masthead fixtures, and the folder of their root certificate ("masthead-root.pem").
std::string MastheadFixtureFile(const std::string& name);
std::string MastheadRootsFolder();
// Copies "demo.ezqm" and "action.azqm" into the folder, where a relay's masthead search finds them
// (its data folder's "gather" folder).
void PlaceSiteMastheads(const std::string& folder);
Signer DemoSiteSigner();
Signer ActionSiteSigner();

// An archived site as an operator drops it into a relay's inbox: the files, a "Manifest" ("1", the
// version and the site URL, CR LF after each) and the version's signed list "__sdirlist", in a site
// archive. The parts may be varied to make archives a relay must refuse.
struct ArchivedSiteParts {
    std::string manifestName = "Manifest";  // empty: no manifest
    std::string manifest;                   // empty: the one said above
    bool withList = true;
    std::uint32_t listVersion = 0;  // 0: the archive's version
    std::optional<Signer> signer;   // none: the demo site's
    std::optional<std::vector<SiteFile>> archivedFiles;  // none: the files the list names
};
std::string ArchivedSiteBytes(const std::string& siteURL, std::uint32_t version, const std::vector<SiteFile>& files,
                              const ArchivedSiteParts& parts = {});

class SiteParent {
  public:
    explicit SiteParent(ScriptedParent& parent);
    // Requests that come later (held ones the parent lets go at its end) get a 404.
    ~SiteParent();
    SiteParent(const SiteParent&) = delete;
    SiteParent& operator=(const SiteParent&) = delete;

    std::string GatherURL() const { return m_parent.URL(kParentGatherPath); }

    // Publishes the version and makes it the one the directory request answers for the site.
    // `earlier` are the versions the parent has differences from.
    void PublishVersion(const std::string& siteURL, std::uint32_t version, const std::vector<SiteFile>& files,
                        const Signer& signer, const std::map<std::uint32_t, std::vector<SiteFile>>& earlier = {});
    void PublishManyVersion(const std::string& siteURL, std::uint32_t version, const std::string& manyVersion,
                            const std::vector<SiteFile>& files, const Signer& signer);
    // The signed, compressed list of a single-version site's version, as published.
    static std::string SignedListBytes(std::uint32_t version, const std::vector<SiteFile>& files, const Signer& signer,
                                       const ListFields& headers = {}, const std::string& manyVersion = "");

    // "/sites/<name>/v<version>/" (many-version: "m<version>").
    static std::string VersionPath(const std::string& siteURL, std::uint32_t version);
    static std::string ManyVersionPath(const std::string& siteURL, std::uint32_t version);
    // The directory requests that asked for the site.
    std::size_t DirectoryRequestsFor(const std::string& siteURL) const;

  private:
    struct Published {
        std::uint32_t version = 0;
        bool manyVersion = false;
        std::string list;     // the reply body
        std::string headers;  // the reply's header lines
    };

    ScriptedHTTPServer::Reply AnswerDirectoryRequest(const std::string& request);

    ScriptedParent& m_parent;
    mutable std::mutex m_lock;
    std::map<std::string, Published> m_sites;  // by site URL
};
