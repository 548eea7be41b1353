// Hostile masthead content (the signed part of a masthead file, without its signature): the reader
// must end with a masthead or a typed refusal (NotAMasthead, an outsized relevance, a failure of the
// message and content-type readers such as an over-long "micalg" name), never read
// outside the input, keep every text within its capacity and record part ranges that lie inside the
// input and do not run backwards.

#include <cstdint>
#include <cstdlib>

#include "base/const_data_reader.h"
#include "crypto/masthead_maker.h"
#include "crypto/masthead_part_locator.h"
#include "formats/message_maker.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckRange(const MastheadPartRange& range, std::size_t size) {
    Check(range.Start <= range.End && range.End <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MastheadHeaderSet headers;
    MastheadPartLocations locations;
    MastheadHeaderSetMaker headerMaker(headers);
    MastheadPartLocator locator(locations);
    MastheadMaker masthead(headerMaker, locator);
    headerMaker.Begin();
    ConstDataReader reader{ConstData(data, data + size)};
    try {
        ReadMessage(reader, masthead);
    } catch (const DebuggableException&) {
    }
    Check(headers.SiteName.length <= sizeof headers.SiteName.bytes);
    Check(headers.Assertion.length <= sizeof headers.Assertion.bytes);
    Check(headers.ActionLockOmitSite.length <= sizeof headers.ActionLockOmitSite.bytes);
    Check(headers.VersionComparison <= MastheadVersion::kHigher);
    for (const MastheadPartRange* range :
         {&locations.Bitmap, &locations.PlainText, &locations.OperatorList, &locations.EncryptionCertificate})
        CheckRange(*range, size);
    return 0;
}
