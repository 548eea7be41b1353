#include "crypto/revocation_list_file.h"

#include <cstdint>

#include "crypto/crls.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/whole_file.h"

namespace {

// The file's size must fit 32 bits, as the lists were always read in one piece of that size.
constexpr std::uint64_t kRevocationListFileSizeLimit = std::uint64_t{1} << 32;

// Reads the content as the next start will, and writes it again: a start must never meet a file that
// a stop wrote but cannot be loaded.
void CheckReadsBackAsItself(const std::vector<Byte>& content) {
    try {
        CRLStackHolder reread = CreateX509_CRLStack();
        ReadX509_CRLStack(ConstData(content.data(), content.data() + content.size()), reread.Get());
        std::vector<Byte> rewritten(X509_CRLStackEncodedLength(reread.Get()));
        OutputRange output(rewritten.data(), rewritten.data() + rewritten.size());
        WriteX509_CRLStack(output, reread.Get());
        if (rewritten == content) return;
    } catch (const OpenSSLError&) {
    }
    throw RevocationListUnreadable();
}

}  // namespace

void LoadRevocationStore(const FileLocation& location, RevocationStore& store) {
    FileItem file;
    if (!file.Lookup(location)) return;
    if (file.GetSize() >= kRevocationListFileSizeLimit) throw RevocationStoreTooLarge();
    std::vector<Byte> content = ReadWholeFile(location);
    store.Load(ConstData(content.data(), content.data() + content.size()));
}

void SaveRevocationStore(const FileLocation& location, RevocationStore& store) {
    // Measured and encoded under one hold of the store's lock: no list slips in between.
    std::vector<Byte> content = store.Encode();
    if (content.empty()) return;
    CheckReadsBackAsItself(content);
    // The first list a relay keeps goes into a folder nothing has made yet.
    CreateDirectoryTree(location.GetParent());
    WriteWholeFile(content, location);
}
