// Download paths: the request paths under the download prefix ("/vtmirror/downloads") by which clients
// and child relays fetch action downloads from the relay, and by which the relay asks its parent.
//
//   <prefix>/<action id>/dl_<action id>[_anything]   the action's download list ("dl_" file)
//   <prefix>/<action id>/<index>                     the action's download number <index>; 0 asks
//                                                    whether the whole action is ready
//   <prefix>/sha1/<40 hexadecimal digits>            a file by its SHA-1 (either case)
//
// An action id is an unsigned 32-bit decimal number other than 0, an index one that may be 0; the
// number after "dl_" (up to the next "_") must be the action's own. Components are compared as bytes:
// the prefix in another case, an escaped digit or a ";" parameter make a path that is not a download
// path, which is no error: it is served as a plain file path. Components after the ones named are not
// looked at.
#pragma once

#include <cstdint>
#include <optional>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "formats/digest_record.h"

// A part asked of a path that does not have it.
class NoSuchDownloadURLComponent : public DebuggableException {};

enum class DownloadPathKind {
    NotADownloadPath = 0,
    RequestFile = 1,  // <action id>/dl_<action id>
    ActionIndex = 2,  // <action id>/<index>
    Sha1 = 3,         // sha1/<digest>
};

// A parsed download path: its kind and the parts the kind has. A value; the accessors of parts the
// kind lacks throw NoSuchDownloadURLComponent.
class DownloadPath {
  public:
    // Not a download path.
    DownloadPath() = default;
    static DownloadPath RequestFile(std::uint32_t actionID);
    static DownloadPath ActionIndex(std::uint32_t actionID, std::uint32_t index);
    static DownloadPath Sha1(DigestRecord sha1);

    DownloadPathKind GetKind() const { return m_kind; }
    std::uint32_t GetActionID() const;
    std::uint32_t GetIndex() const;
    const DigestRecord& GetSHA1() const;

  private:
    DownloadPathKind m_kind = DownloadPathKind::NotADownloadPath;
    std::optional<std::uint32_t> m_actionID;
    std::optional<std::uint32_t> m_index;
    std::optional<DigestRecord> m_sha1;
};

// Reads `path` (a URL path, as it came) as a download path under `prefix`; never throws on the path's
// content. Both split at "/"; a path that starts with "/" only matches a prefix that does too.
DownloadPath ParseDownloadPath(ConstData path, ConstData prefix);
