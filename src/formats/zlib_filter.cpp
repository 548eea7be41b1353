#include "formats/zlib_filter.h"

#include <algorithm>
#include <climits>

namespace {

constexpr std::size_t kOutputBlockSize = 1024;

// zlib counts in unsigned int: a longer range is handed over in several steps.
uInt ZlibCount(std::size_t length) {
    return static_cast<uInt>(std::min<std::size_t>(length, UINT_MAX));
}

}  // namespace

ZlibFilter::ZlibFilter(Mode mode) : m_mode(mode) {
    int result =
        m_mode == Mode::Decompress ? inflateInit(&m_stream) : deflateInit(&m_stream, Z_DEFAULT_COMPRESSION);
    if (result != Z_OK) throw ZlibInitError();
}

ZlibFilter::~ZlibFilter() {
    if (m_mode == Mode::Decompress)
        inflateEnd(&m_stream);
    else
        deflateEnd(&m_stream);
}

void ZlibFilter::Reset() {
    int result = m_mode == Mode::Decompress ? inflateReset(&m_stream) : deflateReset(&m_stream);
    if (result != Z_OK) throw ZlibInitError();
    m_lastResult = Z_OK;
}

// One zlib call over the two ranges. Z_BUF_ERROR means that no progress was possible: in the middle
// of a stream that is a truncated input (or a caller that offered no room), so it fails like any
// other error instead of letting a caller loop for ever.
int ZlibFilter::Step(ConstData& input, OutputRange& output, int flush) {
    m_stream.next_in = const_cast<Bytef*>(input.begin);
    m_stream.avail_in = ZlibCount(input.Length());
    m_stream.next_out = output.begin;
    m_stream.avail_out = ZlibCount(output.Room());
    int result = m_mode == Mode::Decompress ? inflate(&m_stream, flush) : deflate(&m_stream, flush);
    input.begin = m_stream.next_in;
    output.begin = m_stream.next_out;
    if (result != Z_OK && result != Z_STREAM_END) throw ZlibError();
    m_lastResult = result;
    return result;
}

void ZlibFilter::Filter(ConstData& input, OutputRange& output) {
    Step(input, output, Z_NO_FLUSH);
}

// Inflating, the finish step asks for the output that inflate still holds and no flag. With
// Z_FINISH, inflate reports Z_BUF_ERROR whenever the stream does not end within this very call,
// even while it is still producing, so a stream whose last output did not fit one block would fail.
void ZlibFilter::Finish(OutputRange& output) {
    ConstData noInput;
    Step(noInput, output, m_mode == Mode::Decompress ? Z_NO_FLUSH : Z_FINISH);
}

void ZlibDataMaker::Begin() {
    m_filter.Reset();
    m_target->Begin();
}

void ZlibDataMaker::Receive(const Byte* begin, const Byte* end) {
    ConstData input(begin, end);
    while (!input.IsEmpty() && !m_filter.IsComplete()) {
        Byte block[kOutputBlockSize];
        OutputRange output(block, sizeof block);
        m_filter.Filter(input, output);
        if (output.begin != block) m_target->Receive(block, output.begin);
    }
}

void ZlibDataMaker::End() {
    while (!m_filter.IsComplete()) {
        Byte block[kOutputBlockSize];
        OutputRange output(block, sizeof block);
        m_filter.Finish(output);
        if (output.begin != block) m_target->Receive(block, output.begin);
    }
    m_target->End();
}
