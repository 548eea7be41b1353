// The hash index over a hostile index file: whatever the file holds, a look-up by URL or by SHA-1
// answers (a path or nothing) and never fails.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "crypto/openssl_startup.h"
#include "foundation/file_operations.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "relay/download/hash_index.h"

namespace {

// Both indexes read the one fuzzed file; no indexer to wait for.
class FuzzedIndexOptions : public HashIndexOptions {
  public:
    explicit FuzzedIndexOptions(FileLocation file) : m_file(std::move(file)) {}

    FileLocation GetSha1IndexPath() const override { return m_file; }
    FileLocation GetUrlIndexPath() const override { return m_file; }
    FileLocation GetIndexerTriggerPath() const override { return FileLocation(); }
    std::uint32_t GetIndexerWaitTime() const override { return 0; }
    bool HasSha1Index() const override { return true; }
    bool HasUrlIndex() const override { return true; }

  private:
    FileLocation m_file;
};

const FileLocation& IndexFile() {
    static const FileLocation file = [] {
        InitializeOpenSSL(false);
        return MakeTemporaryFileLocation("hashindex");
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteWholeFile(ConstData(data, size), IndexFile());
    const FuzzedIndexOptions options(IndexFile());
    Event stop;
    HashIndex index(options, stop);
    index.FindByUrl("http://site/a.bin");
    const Byte zeros[20] = {};
    index.FindBySha1(DigestRecord(zeros, zeros + sizeof zeros));
    return 0;
}
