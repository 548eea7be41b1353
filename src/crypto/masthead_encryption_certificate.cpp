#include "crypto/masthead_encryption_certificate.h"

#include <string_view>
#include <vector>

#include "crypto/bio_wrappers.h"
#include "crypto/certificates.h"
#include "crypto/masthead.h"
#include "crypto/encryption_certificate_revocation.h"
#include "crypto/revocation_store.h"
#include "foundation/whole_file.h"

namespace {

constexpr std::string_view kPEMCertificateStart = "-----BEGIN CERTIFICATE-----";

}  // namespace

X509Holder DecodeMastheadCertificatePart(ConstData part) {
    if (part.View().find(kPEMCertificateStart) != std::string_view::npos) {
        BIOHolder memory = NewMemoryBIO(part);
        return PEMReadX509(memory.Get());
    }
    return CreateX509(part);
}

X509Holder ReadMastheadEncryptionCertificate(ConstData mastheadFile) {
    Masthead masthead;
    masthead.LoadBytes(mastheadFile, MastheadKind::kDaruraviduOrAction);
    const MastheadPartRange range = masthead.PartLocations().EncryptionCertificate;
    if (range.IsEmpty()) throw NoEncryptionCertificateFound();
    X509Holder certificate =
        DecodeMastheadCertificatePart(ConstData(mastheadFile.begin + range.Start, mastheadFile.begin + range.End));
    CheckEncryptionCertificateNotIndirectlyRevoked(certificate.Get(), *masthead.Verification(), GetRevocationStore());
    return certificate;
}

X509Holder GetMastheadEncryptionCertificate(const FileLocation& path) {
    const std::vector<Byte> file = ReadWholeFile(path);
    return ReadMastheadEncryptionCertificate(ConstData(file.data(), file.size()));
}
