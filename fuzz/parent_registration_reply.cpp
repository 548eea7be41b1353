// A parent's answer to a forwarded registration: the first input byte chooses where the head ends
// and the size of the body's pieces. Reading never crashes, throws only the documented failures,
// keeps the error text within its cap and never reports a grant of computer ID 0 without an error.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/numerals.h"
#include "relay/register/client_register_http_handler.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t headEnd = input.find("\n\n");
    std::string head(input.substr(0, headEnd == std::string_view::npos ? input.size() : headEnd + 1));
    std::string_view body = headEnd == std::string_view::npos ? std::string_view() : input.substr(headEnd + 2);
    ParentRegistrationReply reply;
    try {
        ReadParentRegistrationHead(head, reply);
    } catch (const NotANumeral&) {
        return 0;
    } catch (const NumeralTooLarge&) {
        return 0;
    } catch (const NotAWakeOnLANAdapterInfo&) {
        return 0;
    }
    bool refused = reply.invalidSequence || reply.tooManyChildren || reply.tooManyChildRelays;
    if (!refused && !reply.hasError && (reply.grant.computerID == 0 || reply.grant.slot == 0)) std::abort();
    std::size_t piece = data[0] % 16 + 1;
    ClientRegisterBodyReceiver receiver;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        std::string_view part = body.substr(at, piece);
        if (reply.hasError)
            AppendToErrorText(reply, part);
        else
            receiver.Receive(part);
    }
    if (reply.errorText.size() > kMaxErrorTextBytes + kErrorTextCutMark.size()) std::abort();
    if (receiver.Line().size() > ClientRegisterBodyReceiver::kMaxLineBytes) std::abort();
    if (receiver.Line().find_first_of("\r\n") != std::string::npos) std::abort();
    return 0;
}
