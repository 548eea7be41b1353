// The "dl_" request file reader over hostile text, cut into lines as files are: it may only refuse with
// its own failures, and a file it accepts lists indexed targets of its action, numbered from 1.

#include <cstdint>
#include <cstdlib>

#include "base/numerals.h"
#include "foundation/line_maker.h"
#include "relay/download/download_request_file.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DownloadRequestFile file;
    DownloadRequestFileMaker maker(file);
    LineMaker lines(maker);
    try {
        ReceiveComplete(lines, ConstData(data, size));
        std::uint32_t index = 0;
        for (const DownloadRequestTarget& target : file.targets) {
            Check(target.IsIndexed());
            Check(*target.GetActionID() == file.actionID);
            Check(*target.GetIndex() == ++index);
        }
    } catch (const InvalidDownloadRequestFile&) {
    } catch (const NotANumeral&) {
    } catch (const NumeralTooLarge&) {
    }
    return 0;
}
