// The download target parser over hostile text: it may only refuse with its own failures, and a text
// it accepts must name a target whose text form reads back to the same target and the same text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/numerals.h"
#include "relay/service/download_request_target.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        const DownloadRequestTarget target = ParseDownloadRequestTarget(input);
        Check(target.IsURLRequest() + target.IsIndexed() + target.IsDynamic() == 1);
        Check(!target.GetSha1() || target.GetSha1()->Bytes().Length() == kSha1DigestLength);
        const std::string text = downloadRequestTargetText(target);
        const DownloadRequestTarget reread = ParseDownloadRequestTarget(text);
        Check(downloadRequestTargetText(reread) == text);
        Check(reread.GetURL() == target.GetURL());
        const DownloadRequestTargetLess less;
        Check(!less(target, reread) && !less(reread, target));
    } catch (const NextValueException&) {
    } catch (const NotANumeral&) {
    } catch (const NumeralTooLarge&) {
    } catch (const NotADownloadRequestTarget&) {
    }
    return 0;
}
