// The "Manifest" reader of archived sites over hostile text, cut into lines as the file is: it may
// only refuse with MalformedManifest, and a manifest it reads names a site URL no longer than a line
// may be, and a many-version list that reads back as written.

#include <cstdint>
#include <cstdlib>

#include "foundation/line_maker.h"
#include "relay/gather/manifest_receiver.h"
#include "relay/gather/many_version_list.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SiteManifest manifest;
    ManifestReceiver receiver(manifest);
    LineMaker lines(receiver);
    try {
        ReceiveComplete(lines, ConstData(data, size));
    } catch (const MalformedManifest&) {
        return 0;
    }
    Check(!manifest.siteURL.empty() && manifest.siteURL.size() <= ManifestReceiver::kMaxManifestLineLength);
    Check(manifest.siteURL.find_first_of("\r\n") == std::string::npos);
    Check(ManyVersionFromText(ManyVersionToText(manifest.manyVersion)) == manifest.manyVersion);
    Check(!manifest.expectedVersion.IsSet());
    return 0;
}
