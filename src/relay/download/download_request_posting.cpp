#include "relay/download/download_request_posting.h"

#include <exception>

#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "http/http_client.h"
#include "http/http_client_session.h"
#include "net/url.h"
#include "net/url_builders.h"
#include "relay/download/versioned_object_list.h"

namespace {

constexpr int kOK = 200;
constexpr std::string_view kVersionLine = "0\n";

// One batch's answer; none when it failed.
std::optional<std::vector<DownloadResponse>> PostBatch(const std::string& body, const std::string& url,
                                                       HTTPClientSession& session, std::uint64_t timeLimit,
                                                       GetStopFunctor& stop) {
    try {
        const TemporaryFileLocation requestFile;
        const TemporaryFileLocation replyFile;
        WriteWholeFile(ConstData(std::string_view(body)), requestFile.GetLocation());
        int status = 0;
        const int result = TransferHTTP(url, requestFile.GetLocation(), replyFile.GetLocation(), "", nullptr, status,
                                        timeLimit, stop, session);
        if (result != TransferResult::kSuccess || status != kOK) return std::nullopt;
        const std::vector<Byte> reply = ReadWholeFile(replyFile.GetLocation());
        ConstDataReader reader{ConstData(reply.data(), reply.size())};
        return ReadDownloadResponseList(reader);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

NoParentRelayURL::NoParentRelayURL(const std::string& server)
    : ExceptionPL("The parent relay URL (\"Server1\") is not a URL: \"" + server + "\"") {}

std::string UpstreamDownloadRequestURL(const std::string& parentURL) {
    URL url;
    try {
        url = URL(ConstData(std::string_view(parentURL)));
    } catch (const std::exception&) {
        throw NoParentRelayURL(parentURL);
    }
    if (!url.Scheme() || !url.Host() || url.Host()->empty()) throw NoParentRelayURL(parentURL);
    url.EditPath().AppendComponent("DownloadRequest").ApplyToURL();
    return url.ToString();
}

// A batch closes before the target that would make it too long; a target longer than a batch goes
// alone. A batch's body is its lines and the version line, each with its line feed.
std::vector<std::vector<DownloadRequestTarget>> BatchDownloadRequests(const std::vector<DownloadRequestTarget>& targets) {
    std::vector<std::vector<DownloadRequestTarget>> batches;
    std::size_t bodySize = 0;
    for (const DownloadRequestTarget& target : targets) {
        const std::size_t lineSize = downloadRequestTargetText(target).size() + 1;
        if (batches.empty() || batches.back().size() == kMostTargetsPerPost ||
            bodySize + lineSize > kMostBytesPerPost) {
            batches.emplace_back();
            bodySize = kVersionLine.size();
        }
        batches.back().push_back(target);
        bodySize += lineSize;
    }
    return batches;
}

std::vector<DownloadResponse> PostDownloadRequests(const std::vector<DownloadRequestTarget>& targets,
                                                   const std::string& url, const ParentRelayConfiguration& parent,
                                                   std::uint64_t timeLimit, GetStopFunctor& stop) {
    HTTPClientSession session = parent.MakeHTTPClientSession();
    std::vector<DownloadResponse> responses;
    for (const std::vector<DownloadRequestTarget>& batch : BatchDownloadRequests(targets)) {
        std::string body;
        StringReceiver bodyText(body);
        WriteDownloadRequestTargetList(batch, bodyText);
        std::optional<std::vector<DownloadResponse>> answer = PostBatch(body, url, session, timeLimit, stop);
        if (!answer) break;
        responses.insert(responses.end(), answer->begin(), answer->end());
    }
    return responses;
}
