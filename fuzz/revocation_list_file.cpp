// The revocation list file over hostile bytes: its content is loaded into a store as at start-up
// (the CRL set, each list's authority key identifier and indirect revocation lists). It must never
// crash; content the store accepts must save and load back to the same lists.

#include <cstdint>
#include <cstdlib>

#include "crypto/crls.h"
#include "crypto/revocation_store.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RevocationStore store;
    try {
        store.Load(ConstData(data, data + size));
    } catch (const ReadX509_CRLStackFailed&) {
        Check(store.IsEmpty());
        return 0;
    }
    // The store takes no list it could not write back, so whatever it took saves.
    std::vector<Byte> saved = store.Encode();
    RevocationStore reloaded;
    reloaded.Load(ConstData(saved.data(), saved.data() + saved.size()));
    Check(reloaded.Count() == store.Count());
    Check(reloaded.Encode() == saved);
    return 0;
}
