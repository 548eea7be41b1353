// The zlib stages through which all compression in the relay goes: deflate and inflate of the zlib
// stream format (RFC 1950) at zlib's default parameters.
//
// ZlibFilter is the DataFilter over one zlib stream; ZlibCompressor and ZlibDecompressor are its two
// modes. ZlibDataMaker is the DataReceiver that pushes a stream through a filter into a target, with
// ZlibCompressingDataMaker and ZlibDecompressingDataMaker as its two modes.
//
// Input after the end of a compressed stream is not read: the filter reports IsComplete and takes
// nothing more until Reset. A stream that ends early (truncated input) fails when it is finished.
// Each object serves one stream at a time and is used by one thread at a time; a ZlibDataMaker
// starts a fresh stream at every Begin.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/data_pipeline.h"

// zlib could not set up a stream (out of memory).
class ZlibInitError : public DebuggableException {};
// zlib reported corrupt or truncated data, or could make no progress.
class ZlibError : public DebuggableException {};

class ZlibFilter : public DataFilter {
  public:
    enum class Mode { Compress, Decompress };

    explicit ZlibFilter(Mode mode);
    ZlibFilter(const ZlibFilter&) = delete;
    ZlibFilter& operator=(const ZlibFilter&) = delete;
    ~ZlibFilter() override;

    // One deflate or inflate step without flushing; both ranges advance past what was consumed and
    // produced. ZlibError on bad data.
    void Filter(ConstData& input, OutputRange& output) override;
    // True once the stream's end has been produced (compressing) or reached (decompressing).
    bool IsComplete() override { return m_lastResult == Z_STREAM_END; }
    // One step after the input has ended: compressing, writes the stream's end; decompressing,
    // writes output still held. ZlibError when nothing can be produced and the stream is not
    // complete (a truncated compressed stream).
    void Finish(OutputRange& output) override;

    // Starts a new stream.
    void Reset();

  private:
    int Step(ConstData& input, OutputRange& output, int flush);

    Mode m_mode;
    int m_lastResult = Z_OK;
    z_stream m_stream{};
};

class ZlibCompressor : public ZlibFilter {
  public:
    ZlibCompressor() : ZlibFilter(Mode::Compress) {}
};

class ZlibDecompressor : public ZlibFilter {
  public:
    ZlibDecompressor() : ZlibFilter(Mode::Decompress) {}
};

// Pushes a stream through a ZlibFilter into the target in blocks of at most 1,024 bytes. Begin
// resets the filter and begins the target; End finishes the filter and ends the target. The target
// is not owned and is set before Begin.
class ZlibDataMaker : public DataReceiver, public DataWriter {
  public:
    explicit ZlibDataMaker(ZlibFilter::Mode mode) : m_filter(mode) {}

    ZlibDataMaker& set(DataReceiver& target) {
        m_target = &target;
        return *this;
    }

    void Begin() override;
    // Stops taking input once the compressed stream has ended; what follows is ignored.
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    ZlibFilter m_filter;
    DataReceiver* m_target = nullptr;
};

class ZlibCompressingDataMaker : public ZlibDataMaker {
  public:
    ZlibCompressingDataMaker() : ZlibDataMaker(ZlibFilter::Mode::Compress) {}
};

class ZlibDecompressingDataMaker : public ZlibDataMaker {
  public:
    ZlibDecompressingDataMaker() : ZlibDataMaker(ZlibFilter::Mode::Decompress) {}
};
