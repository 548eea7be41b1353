// Feeds arbitrary bytes to each stream transcoder, whole and cut in two, and checks that both ways
// end alike: the same output, or the same exception.
//
// Input: byte 0 chooses the transcoder (and for the named-charset transcoder the name), bytes 1-2 the
// split point, the rest is the text (for UTF-16 input, pairs of bytes in native order).

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/stream_transcoders.h"

namespace {

template <class E>
struct Collector : UTextReceiver<E> {
    std::vector<typename E::Unit> units;
    void Receive(const typename E::Unit* begin, const typename E::Unit* end) override {
        units.insert(units.end(), begin, end);
    }
};

struct Outcome {
    std::vector<std::uint32_t> units;
    std::string error;
};

const char* const kCharsetNames[] = {"utf-8", "Latin1", "US", "UTF8", "koi8-r"};

template <class Transcoder>
void BeginTranscoder(Transcoder& transcoder, const char*) {
    transcoder.Begin();
}
void BeginTranscoder(StreamTranscoder<UTF8, IANANamedTextEncoding>& transcoder, const char* charset) {
    transcoder.Begin(IANANamedTextEncoding(ConstDataOfCString(charset)));
}

template <class Target, class Source>
Outcome Run(const std::vector<typename Source::Unit>& input, std::size_t split, const char* charset) {
    Collector<Target> sink;
    StreamTranscoder<Target, Source> transcoder(&sink);
    Outcome outcome;
    try {
        BeginTranscoder(transcoder, charset);
        transcoder.Receive(input.data(), input.data() + split);
        transcoder.Receive(input.data() + split, input.data() + input.size());
        transcoder.End();
    } catch (const DebuggableException& error) {
        outcome.error = error.what();
    }
    outcome.units.assign(sink.units.begin(), sink.units.end());
    return outcome;
}

template <class Target, class Source>
void Check(const std::vector<typename Source::Unit>& input, std::size_t split, const char* charset = "") {
    Outcome whole = Run<Target, Source>(input, input.size(), charset);
    Outcome cut = Run<Target, Source>(input, split % (input.size() + 1), charset);
    if (whole.error != cut.error) std::abort();
    if (whole.error.empty() && whole.units != cut.units) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::size_t split = data[1] | (data[2] << 8);
    std::vector<Byte> bytes(data + 3, data + size);
    switch (data[0] % 6) {
        case 0:
            Check<UTF16, UTF8>(bytes, split);
            break;
        case 1: {
            std::vector<char16_t> units(bytes.size() / 2);
            if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
            Check<UTF8, UTF16>(units, split);
            break;
        }
        case 2:
            Check<UTF8, USAscii>(bytes, split);
            break;
        case 3:
            Check<UTF16, USAscii>(bytes, split);
            break;
        case 4:
            Check<UTF8, Latin1>(bytes, split);
            break;
        default:
            Check<UTF8, IANANamedTextEncoding>(bytes, split, kCharsetNames[data[0] / 6 % 5]);
            break;
    }
    return 0;
}
