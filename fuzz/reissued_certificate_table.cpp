// The re-issued certificate table file over hostile bytes: each line's two Base64 certificates are
// decoded and compared. It must never crash; every refusal is a BadReissuedCertificateTable, and an
// accepted file gives whole pairs only.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "crypto/reissued_certificates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const ReissuedCertificatePair& pair : ParseReissuedCertificatePairs(text)) {
            if (!pair.first || !pair.second) std::abort();
        }
    } catch (const BadReissuedCertificateTable&) {
    }
    return 0;
}
