// HashIndexOptions: where the download hash indexes live and how the indexer is started.
// Implemented by GatherOptionsManager, which reads every value afresh on each call and may be called
// from any thread.
#pragma once

#include <cstdint>

#include "base/file_location.h"

class HashIndexOptions {
  public:
    virtual ~HashIndexOptions() = default;

    // Unset when not configured.
    virtual FileLocation GetSha1IndexPath() const = 0;
    virtual FileLocation GetUrlIndexPath() const = 0;
    virtual FileLocation GetIndexerTriggerPath() const = 0;
    virtual std::uint32_t GetIndexerWaitTime() const = 0;
    virtual bool HasSha1Index() const = 0;
    virtual bool HasUrlIndex() const = 0;
};
