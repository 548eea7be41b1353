// The hand-written ASN.1 readers over hostile bytes: the indefinite-length string decoder, the DER
// element readers, ASN.1 times and the tagged CRL set. They must never crash or take memory that the
// input does not justify; content the decoder accepts must encode and decode back to itself.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <openssl/asn1.h>

#include "crypto/asn1_elements.h"
#include "crypto/asn1_indefinite_string.h"
#include "crypto/asn1_time.h"
#include "crypto/crls.h"
#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "foundation/endian.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The decoded content, or false when the input is refused.
bool DecodeString(ConstData input, std::size_t room, std::string& content) {
    ConstDataReader source(input);
    ASN1IndefiniteStringDecoder decoder;
    try {
        decoder.Start(source);
        while (decoder.HasMore()) {
            std::string buffer(room, '\0');
            OutputRange range(buffer.data(), buffer.data() + buffer.size());
            decoder.ReadSome(range);
            content.append(buffer.data(), reinterpret_cast<char*>(range.begin));
        }
        return true;
    } catch (const FormatError&) {
    } catch (const ASN1Decode_Failed&) {
    } catch (const NoMoreData&) {
    }
    return false;
}

void CheckIndefiniteString(ConstData input) {
    std::string content;
    std::size_t room = input.IsEmpty() ? 1 : 1 + input.begin[0] % 64;
    if (!DecodeString(input, room, content)) return;
    std::string encoded;
    StringReceiver sink(encoded);
    ASN1IndefiniteStringEncoder encoder(sink);
    encoder.Begin();
    encoder.Receive(ConstData(std::string_view(content)));
    encoder.End();
    std::string again;
    Check(DecodeString(ConstData(std::string_view(encoded)), 4096, again) && again == content);
}

void ReadElements(ConstData input) {
    ConstDataReader reader(input);
    try {
        while (reader.HasMore()) {
            ASN1Element element;
            ReadASN1Element(reader, element);
            Check(element.Data().Length() <= input.Length());
            ConstDataReader elementReader(element.Data());
            try {
                DecodeAlgorithmElement(elementReader);
            } catch (const ASN1Decode_Failed&) {
            }
        }
    } catch (const ASN1Decode_Failed&) {
    } catch (const NoMoreData&) {
    } catch (const DataOverflow&) {
    }
}

void ParseTime(ConstData input) {
    ASN1_TIME* time = ASN1_TIME_new();
    ASN1_STRING_set(time, input.begin, static_cast<int>(input.Length()));
    try {
        CalendarTime parsed = ParseASN1Time(time);
        Check(parsed.IsValid());
    } catch (const InvalidASN1_TIME&) {
    }
    ASN1_TIME_free(time);
}

void ReadCRLSet(ConstData input) {
    CRLStackHolder crls = CreateX509_CRLStack();
    try {
        ReadX509_CRLStack(input, crls.Get());
    } catch (const ReadX509_CRLStackFailed&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstData input(data, size);
    CheckIndefiniteString(input);
    ReadElements(input);
    if (size <= 32) ParseTime(input);
    ReadCRLSet(input);
    return 0;
}
