// DownloadSourceSequence: the places the relay downloader fetches one target from, tried one after the
// other until one succeeds or the sequence is exhausted.
//
//   URL request   the parent relay's <parent>/vtmirror/downloads/<action>/dl_<action>
//   indexed       the parent's <parent>/vtmirror/downloads/<action>/<index>, while
//                 "_KVRGather_Download_CheckParentFlag" is on; then the target's own URL, while
//                 "_KVRGather_Download_CheckInternetFlag" is on
//   dynamic       the parent's <parent>/vtmirror/downloads/sha1/<lower-case hex>, then the own URL,
//                 under the same two flags
//
// A parent place needs a parent URL; its components are appended to the URL's path ("/" in between,
// escaped as path components). Each flag is read when the sequence reaches its place, so a setting
// changed meanwhile counts. A target with no place at all is exhausted at once.
#pragma once

#include <optional>
#include <string>

#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

class DownloadSourceSequence {
  public:
    // The settings must outlive the sequence. A parent URL that does not parse throws as URL does.
    DownloadSourceSequence(DownloadRequestTarget target, const DownloadSettingsProvider& settings,
                           std::optional<std::string> parentURL);

    bool IsExhausted() const { return !m_current; }
    // The place to try now; a requirement failure once exhausted.
    const std::string& Current() const;
    // On to the next place.
    void Next();

  private:
    enum class Place { Parent, OwnURL, End };

    // The first place from `place` on whose conditions hold.
    void MoveTo(Place place);
    std::string ParentPlace() const;

    DownloadRequestTarget m_target;
    const DownloadSettingsProvider& m_settings;
    std::optional<std::string> m_parentURL;
    Place m_place = Place::Parent;
    std::optional<std::string> m_current;
};
