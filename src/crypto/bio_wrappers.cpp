#include "crypto/bio_wrappers.h"

#include <climits>

namespace {

// BIO calls take int lengths; longer ranges are cut to what one call can take.
int ClampedLength(std::size_t length) { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

}  // namespace

BIOHolder NewBIO(const BIO_METHOD* method) {
    return MakeChecked<NewBIOFailed, BIOHolder>([&] { return BIO_new(method); });
}

BIOHolder NewMemoryBIO(ConstData bytes) {
    ClearOpenSSLErrors();
    // A null pointer would make the library take the length from strlen: give it a real address.
    static const Byte kNothing = 0;
    const Byte* begin = bytes.begin ? bytes.begin : &kNothing;
    BIOHolder object(BIO_new_mem_buf(begin, ClampedLength(bytes.Length())));
    if (!object) throw NewBIOFailed();
    return object;
}

BIOHolder NewDigestBIO(const EVP_MD* method) {
    ClearOpenSSLErrors();
    BIOHolder object(BIO_new(BIO_f_md()));
    if (!object || BIO_set_md(object.Get(), method) <= 0) throw NewDigestBIOFailed();
    return object;
}

BIOHolder OpenFileBIO(const FileLocation& location) {
    return MakeChecked<BIO_read_filenameFailed, BIOHolder>(
        [&] { return BIO_new_file(location.GetPathString().c_str(), "rb"); });
}

void BIORead(BIO* chain, OutputRange& output) {
    if (output.IsFull()) return;
    ClearOpenSSLErrors();
    int result = BIO_read(chain, output.begin, ClampedLength(output.Room()));
    if (result < 1) throw BIOReadFailed();
    output.begin += result;
}

void BIOWrite(BIO* chain, ConstData bytes) {
    if (bytes.IsEmpty()) return;
    ClearOpenSSLErrors();
    if (BIO_write(chain, bytes.begin, ClampedLength(bytes.Length())) <= 0) throw BIOWriteFailed();
}

int FlushBIO(BIO* chain) {
    ClearOpenSSLErrors();
    int result = static_cast<int>(BIO_flush(chain));
    if (result <= 0) throw FlushBIOFailed();
    return result;
}

void PushBIO(BIOChainHolder& chain, BIOHolder object) {
    if (!chain) {
        chain.Reset(object.Release());
        return;
    }
    BIO_push(chain.Get(), object.Release());
}
