#include "relay/service/download_request_target.h"

#include <utility>

DownloadRequestTarget::DownloadRequestTarget(std::optional<std::uint32_t> actionID,
                                             std::optional<std::uint32_t> index,
                                             std::optional<DigestRecord> sha1,
                                             std::optional<std::uint64_t> size,
                                             std::optional<std::string> url)
    : m_actionID(actionID), m_index(index), m_sha1(std::move(sha1)), m_size(size), m_url(std::move(url)) {
    if (!IsURLRequest() && !IsIndexed() && !IsDynamic()) throw NotADownloadRequestTarget();
}

bool DownloadRequestTarget::IsURLRequest() const {
    return m_actionID && !m_index && !m_sha1 && !m_size && !m_url;
}

bool DownloadRequestTarget::IsIndexed() const {
    return m_actionID && m_index && m_url;
}

bool DownloadRequestTarget::IsDynamic() const {
    return m_actionID && !m_index && m_url && m_sha1 && m_size;
}
