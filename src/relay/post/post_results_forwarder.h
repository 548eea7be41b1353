// PostResultsForwarder: the thread that carries the reports the post-results plug-in left on disk
// (post_results_configuration.h names the folders) to the parent relay.
//
// Each pass, until the stop event is set:
// 1. Compaction: the plain reports of the buffer folder, in name order, go into result archives
//    wrapped as compressed files ("##SC001"), each holding reports up to "ResultSizeLimit" bytes (at
//    least one), under the next numbered names of the forwarding buffer. An archive takes its name
//    only once its data is on the disk; the reports it holds are deleted after that.
// 2. Sending: one batch of forwarding-buffer files, in name order and up to "ResultSizeLimit" bytes
//    (at least one), as a result archive wrapped "##SN001" (stored), or "##SE001" (encrypted for the
//    agent masthead's encryption certificate, AES-256-CBC) while the relay holds decryption keys. It is
//    POSTed to "ParentRelayURL" through the parent-relay connection settings, and judged by the reply:
//
//    reply                                     the batch's files             pass
//    200 and "x-veltra-itclient-status: 1"     deleted                       good
//    200 and another status value              moved to RejectedDir          failed, logged
//    no reply, another status, no status value kept for the next pass        failed (PostFailed), backs off
//
//    A relay parent always sends the value on success and refuses its own failures (a full disk) with
//    200 and another value; a proxy's error page has none, so a missing value is never taken as an
//    answer. RejectedDir takes refused files while it holds less than kMostRejectedBytes; beyond that
//    they are deleted and their count logged.
//
// A file the forwarder cannot read is moved to RejectedDir (logged), so it blocks nothing; a batch or
// archive that cannot be written (a full disk) keeps every file where it was.
//
// Between passes the forwarder waits "ResultTimeLimit" (at least kShortestWait). After a failed post
// the wait doubles, up to kLongestBackOff; a good pass returns to the setting. Every failed pass is
// logged at "critical" as "PostResultsForwarder: <reason>" and sets the forwarding-failed flag, which
// a good pass clears (the plug-in then refuses local clients). The stop event ends the waits, a
// transfer in progress and a collection between two files; the thread then ends without a log line.
//
// The configuration, the stop event and the flag are not owned and must outlive the forwarder. Run is
// the forwarder's thread; only the flag (under its own lock) is shared with other threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/result_archive.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/locked_object.h"
#include "foundation/thread.h"
#include "relay/post/post_results_configuration.h"

// The parent did not answer, or not with 200 and a status value.
class PostFailed : public ExceptionPL, public NonDumpableException {
  public:
    PostFailed() : ExceptionPL("Failed to post results to parent.") {}
};

// The parent answered 200 with a status value other than 1.
class ForwardedResultsRejected : public ExceptionPL, public NonDumpableException {
  public:
    ForwardedResultsRejected() : ExceptionPL("Forwarded results document rejected by parent.") {}
};

class PostResultsForwarder : public Callable {
  public:
    static constexpr std::int64_t kShortestWait = 1'000'000;     // microseconds
    static constexpr std::int64_t kLongestBackOff = 60'000'000;  // microseconds
    static constexpr std::uint64_t kMostRejectedBytes = 64ull << 20;

    PostResultsForwarder(PostResultsFileLocations& locations, PostResultsForwardingSettings& settings,
                         Event& stopEvent, Guarded<bool>& forwardingFailed);

    // The loop; ends when the stop event is set. Nothing leaves it.
    void Run() override;

    // One pass: compaction, then one batch. Throws as the loop handles it.
    void CompactBufferDirectory();
    void SendForwardingBatch();

  private:
    void ForwardLoop();
    // The next wait after a good pass.
    std::int64_t RegularWait();
    // Puts files of the directory, in name order, into the archive until the size limit; sets
    // `reachedEnd` (when given) when every file was taken. Returns the files taken.
    std::vector<FileLocation> CollectFiles(const FileLocation& directory, ResultArchiveReceiver& archive,
                                           bool* reachedEnd);
    // True when the parent took the file; false when it refused it; PostFailed otherwise.
    bool PostToParent(const FileLocation& file);
    // Into RejectedDir while it has room, else deleted; the count of deleted files is logged.
    void RejectFiles(const std::vector<FileLocation>& files);
    void SetForwardingFailed(bool failed) { *LockObject(m_forwardingFailed) = failed; }

    PostResultsFileLocations& m_locations;
    PostResultsForwardingSettings& m_settings;
    Event& m_stopEvent;
    EventInterruptor m_interruptor;
    Guarded<bool>& m_forwardingFailed;
};
