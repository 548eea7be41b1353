// Fixed-width integer readers and writers over byte ranges, for the binary formats (compressed
// files, archives, notification packets).
//
// Readers check the length before reading and throw ConstDataTooSmall when the range is short; writers
// check the room before writing and throw DataTooSmall (fixed-size writes) or DataOverflow (one byte
// at a time, ThrowIfFull). Nothing is consumed or written when they throw.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/exceptions.h"

class ConstDataTooSmall : public DebuggableException {};
class DataTooSmall : public DebuggableException {};

// Reads 4 bytes, most significant first; returns the rest of the range.
ConstData ReadBigEndian32(ConstData range, std::uint32_t& value);
// Reads 4 bytes, least significant first; returns the rest of the range.
ConstData TakeUInt32(ConstData range, std::uint32_t& value);

// Stores one byte and advances; DataTooSmall when the output is full.
void PutByte(OutputRange& output, Byte byte);
// Stores one byte and advances; DataOverflow when the output is full.
void ThrowIfFull(OutputRange& output, Byte byte);

// Store most significant first and return the rest of the output (the output itself is unchanged).
OutputRange PutUInt32BigEndian(OutputRange output, std::uint32_t value);
OutputRange PutUInt64BigEndian(OutputRange output, std::uint64_t value);
// As PutUInt32BigEndian, advancing the output in place.
void WriteUInt32BigEndian(OutputRange& output, std::uint32_t value);
// A signed value as a 6-byte big-endian two's-complement number, advancing the output.
void WriteUInt48BigEndian(OutputRange& output, std::int32_t value);
