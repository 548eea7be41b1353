// DownloadRequestTarget: one download that a client or a child relay asks this relay for.
//
// Five optional fields, in this order: the action identifier, the index of the download within its
// action, the SHA-1 digest of the file, its size in bytes and the URL it comes from. A target always
// has an action identifier and takes one of three shapes:
//
//   URL request   nothing else: the action's list of download URLs is wanted
//   indexed       index and URL, with or without digest and size: the action's download number index
//   dynamic       URL, digest and size, no index: a download known only by its content
//
// Building a target of any other shape throws NotADownloadRequestTarget, so a target that exists is
// always one of the three. A value type: copy it freely, share nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/exceptions.h"
#include "formats/digest_record.h"

class NotADownloadRequestTarget : public DebuggableException {};

class DownloadRequestTarget {
  public:
    DownloadRequestTarget(std::optional<std::uint32_t> actionID, std::optional<std::uint32_t> index,
                          std::optional<DigestRecord> sha1, std::optional<std::uint64_t> size,
                          std::optional<std::string> url);

    bool IsURLRequest() const;
    bool IsIndexed() const;
    bool IsDynamic() const;

    const std::optional<std::uint32_t>& GetActionID() const { return m_actionID; }
    const std::optional<std::uint32_t>& GetIndex() const { return m_index; }
    const std::optional<DigestRecord>& GetSha1() const { return m_sha1; }
    const std::optional<std::uint64_t>& GetSize() const { return m_size; }
    const std::optional<std::string>& GetURL() const { return m_url; }

  private:
    std::optional<std::uint32_t> m_actionID;
    std::optional<std::uint32_t> m_index;
    std::optional<DigestRecord> m_sha1;
    std::optional<std::uint64_t> m_size;
    std::optional<std::string> m_url;
};
