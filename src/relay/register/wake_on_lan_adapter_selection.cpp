#include "relay/register/wake_on_lan_adapter_selection.h"

#include <exception>

#include "foundation/log_manager.h"

std::optional<WakeOnLANAdapter> SelectWoLAdapter(const IPAddress& clientAddress,
                                                 const std::set<std::string>& adapterTexts) {
    for (const std::string& text : adapterTexts) {
        try {
            WakeOnLANAdapter adapter = ParseWakeOnLANAdapterInfo(text);
            if (adapterTexts.size() == 1 || adapter.address == clientAddress) return adapter;
        } catch (const std::exception& failure) {
            // A bad text never stops the registration: it goes on without that adapter.
            KVR_LOG("critical") << "Bad adapter info in SelectWoLAdapter for "
                                << FormatIPAddress(clientAddress).View() << " (" << text << "): " << failure.what();
        }
    }
    return std::nullopt;
}
