#include "relay/gather/many_version_list.h"

#include <algorithm>
#include <array>

#include "crypto/openssl_hash.h"
#include "foundation/checksum_receiver.h"

namespace {

// The entries that carry meaning: up to and including the last non-zero one.
std::span<const std::uint32_t> SignificantEntries(const ManyVersionList& list) {
    auto last = std::find_if(list.rbegin(), list.rend(), [](std::uint32_t entry) { return entry != 0; });
    return std::span<const std::uint32_t>(list.data(), static_cast<std::size_t>(list.rend() - last));
}

}  // namespace

std::string ManyVersionToText(const ManyVersionList& list) {
    std::string text;
    for (std::uint32_t entry : SignificantEntries(list)) {
        if (!text.empty()) text += ',';
        text += std::to_string(entry);
    }
    return text;
}

ManyVersionList ManyVersionFromText(std::string_view text) {
    ManyVersionList list{};
    ManyVersionMaker maker;
    ReceiveComplete(maker.GetReceiver(list), ConstData(text));
    return list;
}

ManyVersionList ManyVersionFromRange(std::span<const std::uint32_t> entries) {
    ManyVersionList list{};
    std::copy_n(entries.begin(), std::min(entries.size(), list.size()), list.begin());
    return list;
}

bool IsManyVersionEmpty(const ManyVersionList& list) {
    return SignificantEntries(list).empty();
}

std::uint32_t ManyVersionCRC(const ManyVersionList& list) {
    ChecksumReceiver checksum;
    checksum.Begin();
    for (std::uint32_t entry : SignificantEntries(list)) {
        const std::array<Byte, 4> littleEndian = {static_cast<Byte>(entry), static_cast<Byte>(entry >> 8),
                                                  static_cast<Byte>(entry >> 16), static_cast<Byte>(entry >> 24)};
        checksum.Receive(littleEndian.data(), littleEndian.data() + littleEndian.size());
    }
    checksum.End();
    return checksum.Checksum();
}

// Both lists hold all 128 entries, zero-padded, so "the other list runs out" is the same as
// comparing against its zeros: the plain lexicographic order of the arrays.
bool IsManyVersionNewer(const ManyVersionList& candidate, const ManyVersionList& held) {
    return std::lexicographical_compare(held.begin(), held.end(), candidate.begin(), candidate.end());
}

std::string ManyVersionDigestText(const ManyVersionList& list) {
    OpenSSLHash hash;
    hash.Start(ContentHashDigest());
    ReceiveComplete(hash, ConstData(std::string_view(ManyVersionToText(list))));
    return DigestRecordToText(hash.GetDigest());
}
