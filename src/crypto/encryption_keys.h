// The encryption keys directory: the private keys of the encryption certificates this relay serves,
// with which it reads encrypted streams (crypto/encrypted_file.h).
//
// The directory is the setting "Encryption Keys Directory" (component "Daruravidu Server", section
// "PostResults"), by default "Encryption Keys" in the server's storage folder. Each file of it named
// "*.pvk" (the extension in any case) holds, as PEM text, first the private key without a pass phrase
// and then its certificate. A file that can't be read costs only itself: its failure is logged at
// "critical" as "Could not load encryption key from <path>: <reason>". Nothing here is shared.
#pragma once

#include <vector>

#include "base/file_location.h"
#include "crypto/private_keys.h"

// Throws MissingRegistrySetting when the server's storage path is not set.
FileLocation GetEncryptionKeysDirectory();
// Appends one pair per readable key file, in listing order. A missing directory adds nothing.
void LoadEncryptionKeys(std::vector<CertificateAndKey>& keys, const FileLocation& directory);
// One key file: BIO_read_filenameFailed, ReadPrivateKeyFailed (also for a key under a pass phrase or
// a file that starts with its certificate), PEMReadX509Failed.
CertificateAndKey LoadCertificateAndKey(const FileLocation& file);
