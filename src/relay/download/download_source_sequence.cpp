#include "relay/download/download_source_sequence.h"

#include <utility>

#include "base/exceptions.h"
#include "net/url.h"
#include "net/url_builders.h"

DownloadSourceSequence::DownloadSourceSequence(DownloadRequestTarget target, const DownloadSettingsProvider& settings,
                                               std::optional<std::string> parentURL)
    : m_target(std::move(target)), m_settings(settings), m_parentURL(std::move(parentURL)) {
    MoveTo(Place::Parent);
}

const std::string& DownloadSourceSequence::Current() const {
    KVR_REQUIRE(m_current.has_value());
    return *m_current;
}

void DownloadSourceSequence::Next() {
    MoveTo(m_place == Place::Parent ? Place::OwnURL : Place::End);
}

void DownloadSourceSequence::MoveTo(Place place) {
    m_current.reset();
    m_place = place;
    if (m_place == Place::Parent) {
        const bool parentApplies = m_parentURL && (m_target.IsURLRequest() || m_settings.CheckParentFlag());
        if (parentApplies) {
            m_current = ParentPlace();
            return;
        }
        m_place = Place::OwnURL;
    }
    if (m_place == Place::OwnURL) {
        if (!m_target.IsURLRequest() && m_settings.CheckInternetFlag()) {
            m_current = *m_target.GetURL();
            return;
        }
        m_place = Place::End;
    }
}

std::string DownloadSourceSequence::ParentPlace() const {
    URL url{ConstData(std::string_view(*m_parentURL))};
    URLPathBuilder path(url);
    path.AppendComponent("vtmirror").AppendComponent("downloads");
    const std::string action = std::to_string(*m_target.GetActionID());
    if (m_target.IsURLRequest())
        path.AppendComponent(action).AppendComponent("dl_" + action);
    else if (m_target.IsIndexed())
        path.AppendComponent(action).AppendComponent(std::to_string(*m_target.GetIndex()));
    else
        path.AppendComponent("sha1").AppendComponent(m_target.GetSha1()->ToHex());
    return path.ApplyToURL().ToString();
}
