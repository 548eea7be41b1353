// The download path grammar over hostile request paths, as they come and as the file serving reads
// them: it never throws, and each kind has exactly its parts (an action id other than 0, a whole
// SHA-1).

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/served_file_request.h"
#include "relay/download/download_path.h"

namespace {

constexpr std::string_view kPrefix = "/vtmirror/downloads";

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Lacks(const auto& part) {
    try {
        part();
        return false;
    } catch (const NoSuchDownloadURLComponent&) {
        return true;
    }
}

void CheckParts(const DownloadPath& path) {
    const bool hasAction = !Lacks([&] { path.GetActionID(); });
    const bool hasIndex = !Lacks([&] { path.GetIndex(); });
    const bool hasSha1 = !Lacks([&] { path.GetSHA1(); });
    switch (path.GetKind()) {
        case DownloadPathKind::NotADownloadPath:
            Check(!hasAction && !hasIndex && !hasSha1);
            break;
        case DownloadPathKind::RequestFile:
            Check(hasAction && !hasIndex && !hasSha1 && path.GetActionID() != 0);
            break;
        case DownloadPathKind::ActionIndex:
            Check(hasAction && hasIndex && !hasSha1 && path.GetActionID() != 0);
            break;
        case DownloadPathKind::Sha1:
            Check(!hasAction && !hasIndex && hasSha1 && path.GetSHA1().Bytes().Length() == 20);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ConstData input(data, size);
    CheckParts(ParseDownloadPath(input, ConstData(kPrefix)));
    if (const auto names = ServedPathNames(input)) {
        std::string plain;
        for (const std::string& name : *names) plain += "/" + name;
        CheckParts(ParseDownloadPath(ConstData(std::string_view(plain)), ConstData(kPrefix)));
    }
    return 0;
}
