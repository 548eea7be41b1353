// PostFilePlugIn: resumable, chunked file uploads at "cgi-bin/vtdaruravidu/PostFile.exe" (name
// "PostFile"). A client, or a child relay's upload manager (upload_manager.h), POSTs a file in ranges
// (upload_query.h); each range is appended at the end of the upload's partial file, and the answer
// says how much the relay now holds, so an interrupted upload resumes where the relay's copy ends.
//
// Two kinds of upload (folders in post_file_options_manager.h):
// - web uploads ("wwwname" given): partial "_<key>" in the served folder's "Temp", hashed while they
//   arrive (upload_hash_sets.h). Without "guid" the range that completes the file finishes it; with
//   "guid", ranges without "sha1" only add bytes and one request with "sha1" finishes it (its body is
//   not used). Finishing compares the hash with "sha1" and the size with T and moves the file to
//   "Uploads/<sha1>/<wwwname>", where the server serves it.
// - buffered uploads (no "wwwname"): partial "_<key>" in the buffer's "Temp". A new upload is refused
//   with "Overloaded buffer directory. Try again later." while the buffer's "sha1" and "Temp" folders
//   together hold more than "BufferDirectoryMaxCount" files or "BufferDirectoryMaxSize" bytes
//   (counted at most every 5 seconds). The range that completes the file has the whole file hashed
//   and compared with "sha1" (either case); the file then becomes "sha1/<sha1>" while an upload
//   manager runs (UploadManager::Instance), which carries it to the parent, or is unpacked per
//   computer (buffered_upload_unpacker.h).
// A range that does not start at the partial file's size writes nothing and is answered with that
// size. One request works on an upload at a time: a second request for the same partial file gets
// the size as it is (buffered) or fails with LockedHashSetInUse (web).
//
// The answer (upload_result.h): status 200, "x-kvr-upload-result: Success=<held>,<throttle>,<chunk>"
// and the body "Success: <held>,<throttle>,<chunk>", where the throttle is "ThrottleKBPS" divided by
// one more than the partial buffered uploads found by the last count, and the chunk size is the
// plug-in's "ChunkSize". A failure is answered with status 200 and its text as the plain-text body,
// without that header, after the rest of the body was read; it is logged through the request's
// debug log as "PostFile: \r\nError: <text>". Three failures also delete the partial file:
//   GUIDNotInHashMap   "GUID not found in hash map.  Upload may have been interrupted."
//   HashMismatch       "Hash mismatch.  File may have been corrupted."
//   FileSizeMismatch   "File size mismatch.  File may have been corrupted."
// (a later web range that finds no hash, after a restart for one, instead deletes the partial file
// and is answered 0, so the client starts over).
//
// Each request has "TimeoutSeconds" (read when the options were built) to make progress.
//
// A cleaning thread removes, every hour and until the stop event, partial files ("_...") in both
// "Temp" folders (as they were when the plug-in was built) older than "CleanupHours".
//
// Threads: requests run on the server's plug-in threads, many at once; the hash sets, the claims and
// the counters guard themselves. The options and the stop event are not owned and outlive the
// plug-in. The destructor ends the cleaning thread (it does not wait for the stop event).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/event.h"
#include "foundation/locked_counters.h"
#include "foundation/thread_group.h"
#include "http/cgi_response.h"
#include "http/http_plugin.h"
#include "relay/post/partial_upload_file.h"
#include "relay/post/post_file_options_manager.h"
#include "relay/post/upload_hash_sets.h"
#include "relay/post/upload_key_claims.h"
#include "relay/post/upload_query.h"

class HashMismatch : public DebuggableException, public NonDumpableException {};
class FileSizeMismatch : public DebuggableException, public NonDumpableException {};

class PostFilePlugIn : public HTTPPlugIn {
  public:
    static constexpr std::int64_t kCleaningPeriod = 3'600'000'000;  // microseconds

    // `cleaningPeriod` and `hashClock` are for tests.
    PostFilePlugIn(const PostFileOptionsManager& options, Event& stopEvent,
                   std::int64_t cleaningPeriod = kCleaningPeriod, HashSetMap::Clock hashClock = {});
    ~PostFilePlugIn() override;

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

    HashSetMap& HashSets() { return m_hashSets; }

  private:
    // One request's upload: its query, its partial file and the claim on it.
    struct Upload;

    // Answers the size the relay holds of the upload after this request.
    std::uint64_t HandleUpload(HTTPPlugInInterface& interface, std::unique_ptr<Upload>& upload);
    std::uint64_t HandleWebUpload(HTTPPlugInInterface& interface, Upload& upload);
    std::uint64_t HandleBufferedUpload(HTTPPlugInInterface& interface, Upload& upload);
    std::uint64_t WriteChunk(HTTPPlugInInterface& interface, Upload& upload);
    std::uint64_t FinishUpload(Upload& upload);
    std::uint64_t StoreBufferedChunk(HTTPPlugInInterface& interface, Upload& upload);
    void SendUploadResult(ClientWriter& writer, std::uint64_t held);
    void SendFailure(HTTPPlugInInterface& interface, ClientWriter& writer, const Upload* upload);
    void CleanTemporaryFolders(const FileLocation& bufferTemporary, const FileLocation& webTemporary);

    const PostFileOptionsManager& m_options;
    Event& m_stopEvent;
    std::int64_t m_cleaningPeriod;
    LockedCounters m_bufferCounters;
    HashSetMap m_hashSets;
    UploadKeyClaims m_claims;
    Event m_closing;
    ThreadGroup m_cleaner;  // last: its thread ends before the rest goes
};
