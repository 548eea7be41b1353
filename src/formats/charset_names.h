// Character set names: IANA labels brought to one canonical spelling, so that "Latin1",
// "ISO_8859-1:1987" and "iso-8859-1" name the same set.
#pragma once

#include <string>

#include "base/const_data.h"

// The name lower-cased (ASCII letters only) and, when it is an alias of US-ASCII or ISO-8859-1,
// replaced by "us-ascii" or "iso-8859-1". Other names, "utf-8" among them, stay as lower-cased.
std::string CanonicalCharsetName(ConstData name);
// True when the canonical names of the two are equal ignoring ASCII case.
bool SameCharset(ConstData a, ConstData b);
