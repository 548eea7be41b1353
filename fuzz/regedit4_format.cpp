// Any text must either be refused with RegistryTextError or give a tree that the writer turns into a
// text parsing back to the very same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/regedit4_format.h"

using namespace PosixPlatform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RegistryScript script;
    try {
        script = ParseRegistryText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const RegistryTextError&) {
        return 0;
    }
    for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        RegistryKeyNode hive(RegistryRootName(root));
        ApplyRegistryScript(script, root, hive);
        std::string text = RegistryTextHeader();
        AppendRegistryText(text, hive, root, {});
        if (!(ParseRegistryHiveText(text, root) == hive)) std::abort();
    }
    return 0;
}
