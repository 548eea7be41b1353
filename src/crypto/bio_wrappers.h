// Wrappers of OpenSSL's I/O objects (BIOs): each checks the library's result, throws its own
// OpenSSLError on failure and hands new objects back in holders.
//
// A chain is a list of BIOs pushed behind one another; a BIOChainHolder owns all of them. The
// objects that join a chain to the data pipeline are in pipeline_bio.h.
#pragma once

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "base/const_data.h"
#include "base/file_location.h"

OPENSSL_FAILURE(NewBIOFailed);
OPENSSL_FAILURE(NewDigestBIOFailed);
OPENSSL_FAILURE(BIOReadFailed);
OPENSSL_FAILURE(BIOWriteFailed);
OPENSSL_FAILURE(FlushBIOFailed);
OPENSSL_FAILURE(BIO_read_filenameFailed);

BIOHolder NewBIO(const BIO_METHOD* method);
// A read-only object over the caller's bytes, which are not copied and must outlive it.
BIOHolder NewMemoryBIO(ConstData bytes);
// A digest filter bound to the method.
BIOHolder NewDigestBIO(const EVP_MD* method);
// A file object open for reading the location; it closes the file when freed.
BIOHolder OpenFileBIO(const FileLocation& location);

// One read of at most the room left, which advances the range; an empty range reads nothing.
// Nothing read (end of data or failure) throws BIOReadFailed.
void BIORead(BIO* chain, OutputRange& output);
// One write of the whole range; an empty range writes nothing.
void BIOWrite(BIO* chain, ConstData bytes);
int FlushBIO(BIO* chain);
// Appends the object to the end of the chain, which takes it over.
void PushBIO(BIOChainHolder& chain, BIOHolder object);
