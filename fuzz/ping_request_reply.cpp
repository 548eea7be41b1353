// A relay's reply to a forwarded notification, cut into pieces at every byte value that the first
// input byte chooses: reading it never crashes, and it ends with a ping count or an error, never
// both.

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "foundation/event.h"
#include "relay/register/ping_request_http_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t piece = data[0] % 16 + 1;
    Event stop;
    PingRequestHttpHandler handler("http://127.0.0.1/", stop);
    handler.BeginBody();
    for (std::size_t at = 1; at < size; at += piece) {
        std::size_t length = std::min(piece, size - at);
        handler.ReceiveBody(ConstData(data + at, length));
    }
    handler.EndBody();
    if (handler.HasError() && handler.PingCount() != 0) std::abort();
    if (handler.ErrorText().size() > 2 * PingRequestHttpHandler::kMaxBodyLength) std::abort();
    return 0;
}
