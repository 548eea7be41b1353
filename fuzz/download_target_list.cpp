// The download target list reader over a hostile request body: it may only refuse with the failures
// of its version line and of the target parser, and a list it accepts reads back the same when written.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/const_data_reader.h"
#include "base/numerals.h"
#include "foundation/data_stages.h"
#include "relay/download/versioned_object_list.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string Written(const std::vector<DownloadRequestTarget>& targets) {
    std::string text;
    StringReceiver receiver(text);
    WriteDownloadRequestTargetList(targets, receiver);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstDataReader reader{ConstData(data, size)};
    try {
        const std::string text = Written(ReadDownloadRequestTargetList(reader));
        ConstDataReader again{ConstData(std::string_view(text))};
        Check(Written(ReadDownloadRequestTargetList(again)) == text);
    } catch (const InvalidObjectListVersion&) {
    } catch (const NextValueException&) {
    } catch (const NotANumeral&) {
    } catch (const NumeralTooLarge&) {
    } catch (const NotADownloadRequestTarget&) {
    }
    return 0;
}
