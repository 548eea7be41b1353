// URL texts held in ByteStrings: resolution, the key order of maps keyed by URL text, and path-only
// URLs.
#pragma once

#include <string>
#include <string_view>

#include "base/byte_string.h"

// `relative` resolved against `base` (both parsed as URLs).
ByteString ResolveURLText(const ByteString& base, const ByteString& relative);
// The same on plain texts.
std::string ResolveURLText(std::string_view base, std::string_view relative);

// False when the texts are byte-equal or parse to equal URLs (URLInfo::Equals); otherwise the
// byte-wise order of the texts. Two spellings of one URL are one key; note that this is not a strict
// weak order for every set of texts (see the .cpp).
bool URLTextLess(const ByteString& a, const ByteString& b);

// The text of a URL that has only a path: the two texts as escaped path components.
ByteString ComposeURLPath(const ByteString& first, const ByteString& second);
