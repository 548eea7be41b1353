// BIOs over the data pipeline: OpenSSL reads from a DataReader and writes into a DataReceiver
// through them, so that the library's chains (PKCS#7 content, digests) and the pipeline's stages
// join without copying whole streams.
//
// - A reader BIO ("data reader") answers reads with DataReader::ReadSome; at the reader's end it
//   reads 0.
// - A receiver BIO ("data writer") passes writes and puts on to DataReceiver::Receive; it does not
//   call Begin or End, which stay the business of whoever owns the stream.
//
// Neither owns its reader or receiver, which must outlive the chain. An exception of the pipeline
// never crosses the library: the BIO reports it as a failed read or write, and the wrapper that
// called the library throws its own failure then.
#pragma once

#include "crypto/bio_wrappers.h"
#include "base/data_pipeline.h"

// The method records, made once; both are source/sink types.
const BIO_METHOD* ReaderBIOMethod();
const BIO_METHOD* ReceiverBIOMethod();

// Throw NewBIOFailed.
BIOHolder NewReaderBIO(DataReader& reader);
BIOHolder NewReceiverBIO(DataReceiver& receiver);
