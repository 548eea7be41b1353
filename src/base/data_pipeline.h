// The data pipeline: every byte stream in the relay (files, HTTP bodies, codecs, compressed files,
// archives, message heads) moves through these interfaces.
//
// - DataReceiver is the push side. Calling order, binding on every caller: Begin once, Receive zero or
//   more times (an empty range is harmless), End once. A receiver may serve several streams in a row.
// - DataReader is the pull side: ReadSome delivers what is available, possibly nothing.
// - DataFilter is an in-memory transform between an input range and an output range.
// - LineReceiver takes text already cut into lines (see LineMaker).
//
// Stages hold non-owning pointers to their neighbours and are chained by the caller. A chain is used
// by one thread at a time. Exceptions thrown by a target pass through every stage unchanged.
#pragma once

#include <cstdint>
#include <span>

#include "base/const_data.h"
#include "base/exceptions.h"

// Non-polymorphic base of every receiver stage (receivers derive from DataReceiver, then DataWriter).
class DataWriter {};

class DataReceiver {
public:
    // Receive(begin, end) on this receiver; returns it so that writes chain.
    DataReceiver& Write(const Byte* begin, const Byte* end) {
        Receive(begin, end);
        return *this;
    }
    DataReceiver& Write(ConstData data) { return Write(data.begin, data.end); }

    virtual ~DataReceiver() = default;
    virtual void Begin() = 0;
    // One chunk; the range is valid only during the call.
    virtual void Receive(const Byte* begin, const Byte* end) = 0;
    virtual void End() = 0;

    void Receive(ConstData data) { Receive(data.begin, data.end); }
    // One Receive per range, in order, without Begin or End.
    void ReceiveEach(std::span<const ConstData> ranges);
};

class NoMoreData : public DebuggableException {};

class DataReader {
public:
    virtual ~DataReader() = default;
    virtual bool AtEnd() = 0;
    bool HasMore() { return !AtEnd(); }
    // Fills the whole range; throws NoMoreData when the data ends first (what was read stays).
    virtual void ReadInto(Byte* begin, Byte* end);
    // Reads what is available into the range and advances its begin; may deliver nothing.
    virtual void ReadSome(OutputRange& range) = 0;
};

class DataFilter {
public:
    virtual ~DataFilter() = default;
    // Consumes from the input and produces into the output, advancing both. The base copies as many
    // bytes as fit.
    virtual void Filter(ConstData& input, OutputRange& output);
    // True when the filter holds no pending output.
    virtual bool IsComplete() { return true; }
    // Writes pending output after the input has ended.
    virtual void Finish(OutputRange& output) {}

    // One Filter call over a copy of the input (the caller's range does not move); an empty input
    // does nothing.
    void FilterInto(ConstData input, OutputRange& output);
};

class LineReceiver {
public:
    virtual ~LineReceiver() = default;
    // A text starts at the given byte position of the underlying stream.
    virtual void Begin(std::uint64_t startOffset) = 0;
    // Text of the current line, possibly in several pieces, never holding CR or LF.
    virtual void ReceiveText(const Byte* begin, const Byte* end) = 0;
    // The current line ends; the offsets delimit its terminator (one or two bytes).
    virtual void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) = 0;
    // The text is complete after `total` bytes.
    virtual void End(std::uint64_t total) = 0;
};

// The reader's next byte; NoMoreData at its end.
Byte ReadByte(DataReader& reader);

// Copies min(input length, output room) bytes and advances both ranges.
void CopyDataIntoRange(OutputRange& output, ConstData& input);

// Begin, then ReadSome into a 4,096-byte stack buffer and Receive of what was read (also when
// nothing was) while the reader has more, then End.
void PumpData(DataReader& reader, DataReceiver& receiver);

// A whole stream of one range: Begin, one Receive, End.
void ReceiveComplete(DataReceiver& receiver, ConstData data);
// A whole stream of several ranges: Begin, one Receive per range in order, End.
void ReceiveCompleteEach(DataReceiver& receiver, std::span<const ConstData> ranges);
