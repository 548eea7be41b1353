// The registration list's line reader over arbitrary bytes: it must never crash or throw; a line it
// accepts must come back unchanged through the writer's canonical form, and the whole input cut into
// lines by the file reader's stages must give the same items as the lines read one by one.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/line_maker.h"
#include "relay/register/registration_list_file.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckLine(std::string_view line) {
    std::optional<ClientRegistrationListItem> item = ParseRegistrationListLine(line);
    if (!item) return;
    Check(item->clientID != 0);
    std::string written = FormatRegistrationListLine(*item);
    Check(!written.empty() && written.back() == '\n');
    std::optional<ClientRegistrationListItem> reread =
        ParseRegistrationListLine(std::string_view(written).substr(0, written.size() - 1));
    Check(reread.has_value());
    // The address zone is not written, so only the canonical form must be stable.
    Check(FormatRegistrationListLine(*reread) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckLine(input);

    std::vector<std::uint64_t> ids;
    ClientRegistrationLineReceiver receiver([&](const ClientRegistrationListItem& item) { ids.push_back(item.clientID); });
    LineMaker maker(receiver);
    maker.Begin();
    maker.Write(ConstData(input));
    maker.End();
    Check(ids.size() + receiver.CorruptLineCount() <= size + 1);
    return 0;
}
