#include "base/const_data.h"

#include <algorithm>
#include <limits>
#include <utility>

ConstData ConstDataOfCString(const char* s) {
    return s ? ConstData(s, std::strlen(s)) : ConstData();
}

bool ConstDataEqual(ConstData a, ConstData b) {
    return a.Length() == b.Length() && (a.IsEmpty() || std::memcmp(a.begin, b.begin, a.Length()) == 0);
}

bool ConstDataStartsWith(ConstData a, ConstData prefix) {
    return a.Length() >= prefix.Length() &&
           (prefix.IsEmpty() || std::memcmp(a.begin, prefix.begin, prefix.Length()) == 0);
}

bool ConstDataLess(ConstData a, ConstData b) {
    return std::lexicographical_compare(a.begin, a.end, b.begin, b.end);
}

ConstData ConstDataCopyOut(ConstData range, Byte* bufferBegin, Byte* bufferEnd) {
    OutputRange buffer(bufferBegin, bufferEnd);
    CopyBytesIntoRange(buffer, range);
    return range;
}

OutputRange CopyIntoRangeRest(OutputRange output, ConstData source) {
    CopyBytesIntoRange(output, source);
    return output;
}

void CopyIntoOutputRange(OutputRange& output, ConstData source) {
    CopyBytesIntoRange(output, source);
}

void CopyBytesIntoRange(OutputRange& output, ConstData& source) {
    std::size_t count = std::min(source.Length(), output.Room());
    // memmove: callers may shift bytes within one buffer. A null range has no room, so count is 0.
    if (count != 0) std::memmove(output.begin, source.begin, count);
    output.begin += count;
    source.begin += count;
}

std::string StringFromConstData(ConstData range) {
    return std::string(range.View());
}

OwnedByteRange::OwnedByteRange(OwnedByteRange&& other) noexcept
    : m_begin(std::exchange(other.m_begin, nullptr)), m_end(std::exchange(other.m_end, nullptr)) {}

OwnedByteRange& OwnedByteRange::operator=(OwnedByteRange&& other) noexcept {
    if (this != &other) {
        delete[] m_begin;
        m_begin = std::exchange(other.m_begin, nullptr);
        m_end = std::exchange(other.m_end, nullptr);
    }
    return *this;
}

OwnedByteRange::~OwnedByteRange() {
    delete[] m_begin;
}

OwnedByteRange AllocateByteRange(std::size_t n) {
    // new Byte[n] without () leaves the bytes uninitialised: callers fill them.
    Byte* block = n == 0 ? nullptr : new Byte[n];
    return OwnedByteRange(block, block + n);
}

bool AddFitsIn32(std::uint32_t a, std::uint32_t b) {
    return a <= std::numeric_limits<std::uint32_t>::max() - b;
}
bool AddFitsIn64(std::uint64_t a, std::uint64_t b) {
    return a <= std::numeric_limits<std::uint64_t>::max() - b;
}
bool MultiplyFitsIn32(std::uint32_t a, std::uint32_t b) {
    return a == 0 || b <= std::numeric_limits<std::uint32_t>::max() / a;
}
bool MultiplyFitsIn64(std::uint64_t a, std::uint64_t b) {
    return a == 0 || b <= std::numeric_limits<std::uint64_t>::max() / a;
}
