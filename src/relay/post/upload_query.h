// The query of a post-file request (post_file_plugin.h): which upload a request carries and which
// bytes of it.
//
// Keys (ParseNameValueList, http/cgi_response.h; others ignored; a later key overrides an earlier):
//   "wwwname"     a web upload, finished as "Uploads/<sha1>/<wwwname>"; without it a buffered upload
//   "sha1"        the whole file's SHA-1 text: the expected hash, the folder name and, without
//                 "guid", the upload key
//   "guid"        the upload key of a web upload sent in several requests
//   "range"       "S,E,T": the body carries bytes S to E inclusive of a file of T bytes
//   "chunkrange"  "S,E"
//   "totalsize"   "T"
// S, E and T are unsigned 64-bit decimal numbers; an empty one is 0.
//
// Every refusal is an UploadRefused whose text the client gets back as it stands:
//   "no query parameters specified -- no hash value specified"            an empty query
//   "invalid range specification (first comma not found)"                  "range" without a comma
//   "invalid range specification (second comma not found)"                 "range" with one comma
//   "invalid range specification (comma not found)"                        "chunkrange" without one
//   "invalid range value (not a decimal number)"                           S, E or T not a 64-bit numeral
//   "invalid range value (start > end)"
//   "invalid range value (end >= total size)"                              T known (not 0), E at or past it
//   "the hash value contained a character which is not allowed."          a "sha1" that no file may be
//                                                                          named "_" after, or that holds
//                                                                          ".", "/", "\" or ":"
//   "the guid value contained a character which is not allowed."          likewise "guid" (empty too)
//   "the wwwname value contained a character which is not allowed."       likewise "wwwname"
// and, where an upload needs them (CheckHashAndSize):
//   "no hash value specified"                                              "sha1" missing or empty
//   "total size of file cannot be 0 (possibly invalid or missing range value)"
//
// Values only; nothing here touches a file, so a refused query has changed nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/exceptions.h"

// A request the post-file plug-in refuses; the text is the reply.
class UploadRefused : public ExceptionPL, public NonDumpableException {
  public:
    using ExceptionPL::ExceptionPL;
};

struct UploadQuery {
    std::optional<std::string> wwwname;
    std::optional<std::string> sha1;
    std::optional<std::string> guid;
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t total = 0;

    bool IsWebUpload() const { return wwwname.has_value(); }
    // The key that names the partial file "_<key>": the "guid" when given, else the "sha1".
    const std::string& Key() const;
    // E - S + 1, at most 2^64 - 1.
    std::uint64_t ChunkLength() const;
};

// Parses and checks the keys, the range and every name-giving key present.
UploadQuery ParseUploadQuery(std::string_view query);
// "sha1" present and not empty, T not 0.
void CheckHashAndSize(const UploadQuery& query);
