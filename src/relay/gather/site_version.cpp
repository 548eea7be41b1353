#include "relay/gather/site_version.h"

#include <tuple>

std::uint32_t SiteVersion::GetValue() const {
    if (!m_isSet) throw InvalidVersionORCRCUsed();
    return m_value;
}

std::string SiteVersion::ToText() const {
    if (!m_isSet) return "(no expected version)";
    return std::string(m_isCRC ? "(CRC: " : "(Integral: ") + std::to_string(m_value) + ")";
}

bool SiteVersion::Equals(const SiteVersion& a, const SiteVersion& b) {
    if (!a.m_isSet || !b.m_isSet) return a.m_isSet == b.m_isSet;
    return a.m_isCRC == b.m_isCRC && a.m_value == b.m_value;
}

// The kind flag sorts integral (false) before CRC (true); an unset version never carries a value
// into the comparison, so any two unset versions are equivalent.
bool SiteVersion::Less(const SiteVersion& a, const SiteVersion& b) {
    if (!a.m_isSet || !b.m_isSet) return !a.m_isSet && b.m_isSet;
    return std::tie(a.m_isCRC, a.m_value) < std::tie(b.m_isCRC, b.m_value);
}
