// The download response list reader over a hostile reply from the parent: it may only refuse with
// InvalidObjectListVersion or NotADownloadResponse, and every response it accepts names its hash or its
// action and reads back the same when written.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "relay/download/download_response.h"
#include "relay/download/versioned_object_list.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstDataReader reader{ConstData(data, size)};
    try {
        const std::vector<DownloadResponse> responses = ReadDownloadResponseList(reader);
        for (const DownloadResponse& response : responses) {
            Check(response.hash || response.actionID);
            const std::string line = FormatDownloadResponse(response);
            Check(FormatDownloadResponse(ParseDownloadResponse(line)) == line);
        }
        std::string text;
        StringReceiver receiver(text);
        WriteDownloadResponseList(responses, receiver);
        ConstDataReader again{ConstData(std::string_view(text))};
        Check(ReadDownloadResponseList(again).size() == responses.size());
    } catch (const InvalidObjectListVersion&) {
    } catch (const NotADownloadResponse&) {
    }
    return 0;
}
