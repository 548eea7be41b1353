// The encrypted-stream reader over hostile bytes: the header's DER values, the recipient match, the
// chunked ciphertext and the closing pairs. It must never crash or read beyond its input, and every
// stream it refuses must be refused with one of its documented errors. The key is fixed
// (fuzz_encryption_key.h) so that streams made for its certificate (the seeds, written by `openssl cms
// -encrypt`) reach decryption.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/const_data_reader.h"
#include "crypto/asn1_elements.h"
#include "crypto/encrypted_file.h"
#include "crypto/pkcs7_objects.h"
#include "fuzz_encryption_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstDataReader source(ConstData(data, size));
    EncryptedFileReader reader;
    try {
        ReadEncryptedFileHeader(reader, FuzzEncryptionKeys(), source);
        Byte buffer[700];
        while (!reader.AtEnd()) {
            OutputRange range(buffer, sizeof buffer);
            reader.ReadSome(range);
        }
    } catch (const FormatError&) {
    } catch (const NoMoreData&) {
    } catch (const NoMatchingRecipient&) {
    } catch (const OpenSSLError&) {
    }
    return 0;
}
