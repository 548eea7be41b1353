// SiteVersion: the version of a site that a gather request expects. Either unset (the request asks
// for the latest version), or set, holding an integral version number or a many-version CRC
// (many_version_list.h). A plain value of 8 bytes; copy it freely.
//
// The order (Less) is the order of a site's set of pending versions: unset before every set
// version, every integral version before every CRC, values within one kind as unsigned numbers.
// Equals and Less are defined for every pair and never throw.
#pragma once

#include <cstdint>
#include <string>

#include "base/exceptions.h"

// The value of an unset SiteVersion was asked for.
class InvalidVersionORCRCUsed : public DebuggableException {};

class SiteVersion {
  public:
    // Unset.
    SiteVersion() = default;
    SiteVersion(std::uint32_t value, bool isCRC) : m_value(value), m_isCRC(isCRC), m_isSet(true) {}
    static SiteVersion Integral(std::uint32_t version) { return SiteVersion(version, false); }
    static SiteVersion CRC(std::uint32_t crc) { return SiteVersion(crc, true); }

    bool IsSet() const { return m_isSet; }
    // Meaningful only when set.
    bool IsCRC() const { return m_isSet && m_isCRC; }
    // InvalidVersionORCRCUsed when unset.
    std::uint32_t GetValue() const;
    // "(no expected version)", "(Integral: 42)" or "(CRC: 17)": the form the gather log lines use.
    std::string ToText() const;

    // Both unset, or both set with the same kind and value.
    static bool Equals(const SiteVersion& a, const SiteVersion& b);
    static bool Less(const SiteVersion& a, const SiteVersion& b);

    // The comparator of ordered containers.
    struct Order {
        bool operator()(const SiteVersion& a, const SiteVersion& b) const { return Less(a, b); }
    };

  private:
    std::uint32_t m_value = 0;
    bool m_isCRC = false;
    bool m_isSet = false;
};
