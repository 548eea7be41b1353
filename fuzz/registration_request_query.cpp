// The client-register query reader over arbitrary bytes: it must never crash or throw; every pair but
// the adapters' is forwarded, so the forward list never holds more pairs than the query has
// separators plus one.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "relay/register/registration_request_parameters.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view query(reinterpret_cast<const char*>(data), size);
    const RegistrationRequestParameters parameters = ReadRegistrationRequestParameters(query, 5);
    std::size_t separators = 0;
    for (char c : query)
        if (c == '&' || c == ';') ++separators;
    Check(parameters.forwardList.Count() + parameters.adapters.size() <= separators + 1);
    Check(parameters.minRelayVersion.count >= 1 && parameters.minRelayVersion.count <= 4);
    return 0;
}
