// The site directory request of the gather-mirror plug-in ("-kvrgather", gather_mirror_commands.h):
// a client or child relay asks for a site's current file list and the URLs of the relay's mirror
// files. It never waits for a gather.
//
// Query: "url" (required), "expectedVersion" and "localVersion" (decimal; localVersion defaults to
// the "x-veltra-client-site-version" header), "manyVersionSHA1"; names ignore case, a later pair
// wins; a number that is not plain decimal digits (blanks skipped) or passes 32 bits reads as 0.
//
// Answers, in order of the decisions:
//   no query 7, not a GET 9, no url 6
//   no committed copy                 a gather queued, status page 19
//   the client expects another version than this relay, the root (asked through the parent, while
//   "_KVRRelay_GatherMirror_ResolveVersionConflicts" is on) agrees with the client
//                                     a gather of the root's version queued, status page 22
//   otherwise a gather of the expected version is queued when the committed copy differs from it or
//   the upstream check is due, the site's last request time is set, and the directory reply goes out:
//
//     HTTP/1.1 200, Date, MIME-Version, Expires, Pragma, Cache-Control (twice), Content-type
//     text/plain, x-veltra-directory-server-date, x-kvr-gather-mirror-status "1,<committed version>"
//     many-version site (manyVersionSHA1 given and a committed many-version list):
//       x-kvr-http-local-addr                   the gather cache folder's URL
//       x-kvrgather-fullsite-url / -size        "__fullsite_<digest>"
//       x-kvrgather-single-fullsite-url / -size the committed folder's "__fullsite"
//       x-kvrgather-diffsite-url / -size        "__diffsite_<client digest>_to_<digest>", only when
//                                               manyVersionSHA1 is 40 hex digits and the file exists
//       x-kvrgather-mdirlist-url                "__mdirlistc_<digest>"
//       x-kvrgather-alldiffs-url                "__alldiffs_<digest>"
//     other site:
//       x-kvr-http-local-addr                   the committed folder's URL
//     a current client ("x-veltra-client-valid" is "true" and its digest or version is the committed
//     one): content-length 0 and no body; else content-length and the directory list (signed when
//     "x-veltra-directory" is "signed"), sent in pieces of 2,048 bytes.
//
// Every file the reply names with a size, and the list, is opened before the first byte is written,
// so a missing file (or one outside the web root, mirror_file_url.h) fails the request before any
// reply; the caller answers 500.
#pragma once

#include "relay/gather/gather_mirror_commands.h"

inline constexpr std::size_t kDirectoryListPieceSize = 2048;

void HandleGatherCommand(GatherMirrorRequest& request);

// Whether the text is a SHA-1 digest as hexadecimal: 40 digits of either case.
bool IsSHA1Text(std::string_view text);
