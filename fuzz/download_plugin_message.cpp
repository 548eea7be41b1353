// The "plugin_*" inbox message reader over hostile JSON text: parsing and reading may only refuse with
// the parser's and the reader's own failures, and a message it accepts carries what its kind needs.

#include <cstdint>
#include <cstdlib>

#include "base/const_data_reader.h"
#include "formats/json_parser.h"
#include "relay/download/download_plugin_message.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstDataReader reader(ConstData(data, size));
    try {
        const DownloadPluginMessage message = ReadDownloadPluginMessage(*ParseJSON(reader));
        if (message.kind != DownloadPluginMessageKind::Status) Check(message.statuses.empty());
        if (message.kind != DownloadPluginMessageKind::Add) Check(message.location.empty());
        if (message.kind == DownloadPluginMessageKind::Unrecognized) Check(message.protocol.empty());
    } catch (const InvalidJSON&) {
    } catch (const NoJSONValue&) {
    } catch (const DataOverflow&) {
    } catch (const NoSuchJSONValue&) {
    } catch (const JSONTypeMismatch&) {
    } catch (const NullDownloadPluginMessageValue&) {
    }
    return 0;
}
