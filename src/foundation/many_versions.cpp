#include "foundation/many_versions.h"

#include <algorithm>

namespace {

std::uint32_t ComponentAt(ManyVersionView version, std::size_t index) {
    return index < version.size() ? version[index] : 0;
}

}  // namespace

bool IsManyVersionEmpty(ManyVersionView version) {
    return std::all_of(version.begin(), version.end(), [](std::uint32_t c) { return c == 0; });
}

bool ManyVersionCovers(ManyVersionView a, ManyVersionView b) {
    const std::size_t count = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < count; ++i)
        if (ComponentAt(a, i) < ComponentAt(b, i)) return false;
    return true;
}

int CompareManyVersions(ManyVersionView a, ManyVersionView b) {
    const std::size_t count = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t left = ComponentAt(a, i);
        const std::uint32_t right = ComponentAt(b, i);
        if (left != right) return left < right ? -1 : 1;
    }
    return 0;
}

void RaiseManyVersion(ManyVersionList& target, ManyVersionView other) {
    const std::size_t count = std::min(target.size(), other.size());
    for (std::size_t i = 0; i < count; ++i) target[i] = std::max(target[i], other[i]);
}

std::vector<std::uint32_t> TrimmedManyVersion(ManyVersionView version) {
    std::size_t length = version.size();
    while (length > 0 && version[length - 1] == 0) --length;
    return {version.begin(), version.begin() + static_cast<std::ptrdiff_t>(length)};
}
