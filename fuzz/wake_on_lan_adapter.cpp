// The wake-on-LAN adapter text over arbitrary bytes: it must never crash or throw anything but
// NotAWakeOnLANAdapterInfo; an accepted text must format within the 74-character limit, and the
// formatted text must read back to a record that formats the same.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/register/wake_on_lan_adapter.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WakeOnLANAdapter adapter;
    try {
        adapter = ParseWakeOnLANAdapterInfo(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const NotAWakeOnLANAdapterInfo&) {
        return 0;
    }
    std::string text(FormatWakeOnLANAdapter(adapter).View());
    WakeOnLANAdapter reread = ParseWakeOnLANAdapterInfo(text);
    Check(std::string(FormatWakeOnLANAdapter(reread).View()) == text);
    if (adapter.address.IsIPv6() == adapter.subnet.Address().IsIPv6() && text[17] == '_') Check(reread == adapter);
    return 0;
}
