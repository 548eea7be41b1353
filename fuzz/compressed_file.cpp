// Hostile compressed files: the reader (with its untrusted byte limit) and the compression remover
// must fail only with their own errors, the reader must stop near its limit, and where both accept
// a compressed stream they must agree on its content.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/const_data_reader.h"
#include "formats/compressed_file.h"
#include "foundation/data_stages.h"

namespace {

constexpr std::uint64_t kLimit = 1'000'000;
constexpr std::size_t kRoom = 4096;
constexpr std::size_t kLookAhead = 1024;

void Check(bool condition) {
    if (!condition) std::abort();
}

// The content read through the reader, or nothing when it failed.
bool ReadContent(ConstData input, std::string& content) {
    ConstDataReader source(input);
    CompressedFileReader reader;
    reader.SetUntrustedByteLimit(kLimit);
    Byte buffer[kRoom];
    try {
        reader.Open(source);
        while (reader.HasMore()) {
            OutputRange free(buffer, sizeof buffer);
            reader.ReadSome(free);
            content.append(buffer, free.begin);
            Check(content.size() <= kLimit + kRoom + kLookAhead);
        }
        return true;
    } catch (const ZlibError&) {
    } catch (const FileStartingBytesNotRecognized&) {
    } catch (const NoMoreData&) {
    } catch (const UntrustedByteLimitExceeded&) {
    }
    return false;
}

bool RemoveCompression(ConstData input, std::string& content) {
    StringReceiver target(content);
    CompressionRemover remover(target);
    try {
        ReceiveComplete(remover, input);
        return true;
    } catch (const ZlibError&) {
    } catch (const CompressedFileChecksumError&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstData input(data, size);
    std::string read;
    bool readable = ReadContent(input, read);
    std::string removed;
    bool removable = RemoveCompression(input, removed);
    bool compressed =
        ConstDataStartsWith(input, CompressedFileMarker()) && size >= kCompressedFileHeaderLength;
    if (!compressed) Check(removable && removed == std::string(data, data + size));
    if (compressed && readable && removable) Check(read == removed);
    return 0;
}
