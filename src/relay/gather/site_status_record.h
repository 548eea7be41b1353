// SiteStatusRecord: what the gather state knows of one site: the versions being gathered, how the
// last gather ended, which copy is committed on disk and where, and which versions the parent
// announced. A plain value; the gather state keeps one per site id under its lock.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "base/time_value.h"
#include "foundation/many_version_maker.h"
#include "relay/gather/site_gather_params.h"
#include "relay/gather/site_version.h"

// The stored outcome of a site's gathers; the numbers are those of the gather status reports.
enum class GatherStatus : std::uint32_t { Pending = 0, Error = 1, Complete = 2 };

struct SiteStatusRecord {
    // The expected version of every queued or running gather of the site: each request adds its
    // version, each outcome removes it.
    std::set<SiteVersion, SiteVersion::Order> pendingVersions;
    GatherStatus status = GatherStatus::Pending;
    // The request most recently queued for the site (a retry queues it again).
    SiteGatherParams lastRequest;
    // The mirror directory of the committed copy; empty until a gather commits.
    std::string committedLocation;
    std::uint32_t committedVersion = 0;
    // Always ManyVersionCRC of committedManyVersion.
    std::uint32_t committedCRC = 0;
    ManyVersionList committedManyVersion{};
    // The last integral version and many-version CRC the parent announced or reported, and when each
    // was last set or asked for.
    std::uint32_t expectedVersion = 0;
    std::uint32_t expectedCRC = 0;
    TimeValue expectedVersionTime = 0;
    TimeValue expectedCRCTime = 0;
    TimeValue completedTime = 0;
    // When a client or child relay last asked for the site.
    TimeValue lastRequestedTime = 0;
    TimeValue errorTime = 0;
    std::string errorText;

    // Pending while any version is pending, else the stored status.
    GatherStatus EffectiveStatus() const { return pendingVersions.empty() ? status : GatherStatus::Pending; }
    bool IsPending() const { return EffectiveStatus() == GatherStatus::Pending; }
};
