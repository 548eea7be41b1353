// The gather map files of the inbox folder: the site URL to gather id relation of URLToGatherIDMap.
//
// "vtemapfile.xml", written and read here only:
//
//   <?xml version="1.0"?>
//   <URLtoID NextID="8">
//   <UrlToIdPair ID="3">http://parent:52311/cgi-bin/vtgather.exe/actionsite</UrlToIdPair>
//   ...
//   </URLtoID>
//
// one pair per entry in ascending byte order of the URL, no indentation, each line ending in CR LF.
// Reading checks no names: the root's first attribute is the next id, each child's first attribute
// its id and its text its URL. A child whose URL has no canonical form is skipped.
//
// "vtemapfile", the older binary form, only read (then replaced by the XML file): records of
//
//   length R   4 bytes little-endian: 8 + the URL's length, at most 1,024
//   id         4 bytes little-endian
//   URL        R - 8 bytes, no terminator
//
// ending at the end of the bytes or at a record whose R is 8 (nothing follows its length).
//
// In both forms a record whose URL has no canonical form is skipped, a URL given twice makes the file malformed; a pair whose id another URL already
// has, or whose id is 0 (no site), is skipped and logged under "critical", so two sites never
// share the mirror folders of one id. Pure functions over bytes: thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"

// The bytes are no gather map file of the form read.
class MalformedMapFile : public DebuggableException {};

// The key of a site: scheme "://" authority path, with query and fragment dropped and letter case
// kept. None for a text without a scheme, an authority or a non-empty path, or with a control byte
// (below 0x20, or 0x7F), which no site URL has and the XML file could not carry.
std::optional<std::string> CanonicalSiteURL(std::string_view url);

// Canonical site URL to gather id.
using GatherIDMap = std::map<std::string, std::uint32_t>;

struct GatherMapContents {
    GatherIDMap ids;
    std::uint32_t nextID = 1;
};

// The XML form. MalformedMapFile for a document that does not read whole (no root, elements left
// open) or names a URL twice; NotANumeral or NumeralTooLarge (base/numerals.h) for an id or next id
// that is no decimal of 32 bits.
GatherMapContents ReadGatherMapDocument(ConstData document);
// Begin, the XML form, End.
void WriteGatherMapDocument(const GatherMapContents& contents, DataReceiver& out);

struct LegacyGatherMap {
    GatherIDMap ids;
    // The largest id of the records read, the skipped ones included; 0 when none.
    std::uint32_t largestID = 0;
};

// The records of the binary form, into `map`. MalformedMapFile for a length outside 8 to 1,024 or a
// URL given twice, ConstDataTooSmall (foundation/endian.h) for a cut record; after a throw `map` holds what was read before.
void ReadLegacyGatherMap(ConstData bytes, LegacyGatherMap& map);
