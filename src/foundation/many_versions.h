// Comparing many-versions: the version vectors of sites gathered from several sources (a list of up
// to kManyVersionCount unsigned 32-bit components, many_version_maker.h). Every operation here takes
// ranges of any length and counts a missing component as 0, so trailing zero components never make
// a difference: (5, 0) and (5) are the same many-version.
//
// All functions are pure and thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/many_version_maker.h"

using ManyVersionView = std::span<const std::uint32_t>;

// Every component is 0.
bool IsManyVersionEmpty(ManyVersionView version);
// Every component of `a` is at least the matching component of `b`.
bool ManyVersionCovers(ManyVersionView a, ManyVersionView b);
// The order of many-versions: components compared one by one from the first, the first difference
// deciding. Negative, 0 or positive as `a` is below, equal to or above `b`.
int CompareManyVersions(ManyVersionView a, ManyVersionView b);
// Raises each component of `target` to the matching component of `other` where that is greater
// (components of `other` beyond kManyVersionCount are dropped).
void RaiseManyVersion(ManyVersionList& target, ManyVersionView other);
// The components up to the last that is not 0.
std::vector<std::uint32_t> TrimmedManyVersion(ManyVersionView version);
