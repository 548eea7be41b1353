#include "crypto/encryption_keys.h"

#include "crypto/bio_wrappers.h"
#include "crypto/certificates.h"
#include "crypto/openssl_startup.h"
#include "foundation/directory_iterator.h"
#include "foundation/log_manager.h"
#include "settings/configuration_settings.h"

FileLocation GetEncryptionKeysDirectory() {
    const FileLocation fallback = GetServerStoragePath().MakeChild("Encryption Keys");
    ConfigurationString directory(1, "Daruravidu Server", "PostResults", "Encryption Keys Directory",
                                  fallback.CString());
    return FileLocation(directory.GetValue().GetConstData());
}

// The directory scan matches names ignoring case, as the key files' home system does.
void LoadEncryptionKeys(std::vector<CertificateAndKey>& keys, const FileLocation& directory) {
    for (DirectoryScan scan(directory, "*.pvk"); scan.IsValid(); scan.Next()) {
        const FileLocation& file = scan.Current().GetLocation();
        try {
            keys.push_back(LoadCertificateAndKey(file));
        } catch (...) {
            KVR_LOG("critical") << "Could not load encryption key from " << file.GetPathString() << ": "
                                << CurrentExceptionText();
        }
    }
}

CertificateAndKey LoadCertificateAndKey(const FileLocation& file) {
    EnsureOpenSSLInitialized();
    BIOHolder source = OpenFileBIO(file);
    PrivateKeyHolder key = ReadPrivateKey(source.Get(), ConstData());
    X509Holder certificate = PEMReadX509(source.Get());
    return CertificateAndKey(std::move(certificate), std::move(key));
}
