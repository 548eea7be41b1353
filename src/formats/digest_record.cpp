#include "formats/digest_record.h"

#include <cstring>

#include "formats/hex_codec.h"

DigestRecord::DigestRecord(const Byte* begin, const Byte* end) {
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length > kCapacity) return;
    if (length != 0) std::memcpy(m_bytes, begin, length);
    m_length = static_cast<std::uint32_t>(length);
}

std::string DigestRecord::ToHex() const {
    return HexEncodeText(Bytes());
}

bool DigestRecordsEqual(const DigestRecord& a, const DigestRecord& b) {
    return !a.IsEmpty() && !b.IsEmpty() && ConstDataEqual(a.Bytes(), b.Bytes());
}
