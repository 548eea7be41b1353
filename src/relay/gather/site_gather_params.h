// SiteGatherParams: one gather request as the gather state queues it and a gather thread carries it
// out. A plain value, copied into the queue and out of it; built with designated initialisers
// (a list given as a shorter range goes through ManyVersionFromRange).
//
// The default request has site id 0, local version 0, an unset expected version, the empty list, no
// URL and the epoch 1970-01-01 00:00:00.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/calendar_time.h"
#include "foundation/many_version_maker.h"
#include "relay/gather/site_version.h"

struct SiteGatherParams {
    std::uint32_t siteID = 0;
    // The integral version committed when the request was made; 0 when none.
    std::uint32_t localVersion = 0;
    // Unset: the latest version is wanted.
    SiteVersion expectedVersion;
    // The many-version list committed when the request was made.
    ManyVersionList localManyVersion{};
    std::string siteURL;
    // The gather state's action-site epoch when the request was made: a gather that finds another
    // epoch at its end knows that a reset happened while it ran.
    CalendarTime actionSiteEpoch;
    // 0 on every path that makes a request.
    std::uint32_t reserved = 0;
};
