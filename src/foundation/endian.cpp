#include "foundation/endian.h"

namespace {

// The low `width` bytes of value, most significant first.
OutputRange PutBigEndian(OutputRange output, std::uint64_t value, unsigned width) {
    if (output.Room() < width) throw DataTooSmall();
    for (unsigned i = 0; i < width; ++i) output.begin[i] = static_cast<Byte>(value >> (8 * (width - 1 - i)));
    output.begin += width;
    return output;
}

void RequireLength(ConstData range, std::size_t length) {
    if (range.Length() < length) throw ConstDataTooSmall();
}

}  // namespace

ConstData ReadBigEndian32(ConstData range, std::uint32_t& value) {
    RequireLength(range, 4);
    const Byte* p = range.begin;
    value = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    return ConstData(p + 4, range.end);
}

ConstData TakeUInt32(ConstData range, std::uint32_t& value) {
    RequireLength(range, 4);
    const Byte* p = range.begin;
    value = std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
    return ConstData(p + 4, range.end);
}

void PutByte(OutputRange& output, Byte byte) {
    if (output.IsFull()) throw DataTooSmall();
    *output.begin++ = byte;
}

void ThrowIfFull(OutputRange& output, Byte byte) {
    if (output.IsFull()) throw DataOverflow();
    *output.begin++ = byte;
}

OutputRange PutUInt32BigEndian(OutputRange output, std::uint32_t value) {
    return PutBigEndian(output, value, 4);
}

OutputRange PutUInt64BigEndian(OutputRange output, std::uint64_t value) {
    return PutBigEndian(output, value, 8);
}

void WriteUInt32BigEndian(OutputRange& output, std::uint32_t value) {
    output = PutBigEndian(output, value, 4);
}

void WriteUInt48BigEndian(OutputRange& output, std::int32_t value) {
    // Sign extension to 64 bits makes the two leading bytes 0x00 0x00 or 0xFF 0xFF.
    output = PutBigEndian(output, static_cast<std::uint64_t>(static_cast<std::int64_t>(value)), 6);
}
