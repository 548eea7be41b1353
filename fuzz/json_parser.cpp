// Feeds arbitrary bytes to the JSON parser, whole and cut in two, and checks that both ways report the
// same events or the same exception; the tree builder then builds (and releases) the document.
//
// Input: bytes 0-1 give the split point, the rest is the text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/json_parser.h"

namespace {

class EventRecorder : public JSONReceiver {
  public:
    std::string events;

    void Begin() override {}
    void End() override { events += 'E'; }
    void BeginObject() override { events += '{'; }
    void EndObject() override { events += '}'; }
    void BeginArray() override { events += '['; }
    void EndArray() override { events += ']'; }
    void BeginKey() override { events += 'K'; }
    void EndKey() override { events += 'k'; }
    void BeginString() override { events += 'S'; }
    void EndString() override { events += 's'; }
    // Runs of one string may be cut differently; only their bytes count.
    void Text(const char* begin, const char* end) override { events.append(begin, end); }
    void Integer(std::int64_t value) override { events += 'i' + std::to_string(value); }
    void Float(double value) override { events += 'f' + std::to_string(value); }
    void Bool(bool value) override { events += value ? 'T' : 'F'; }
    void Null() override { events += 'N'; }
};

template <class Receiver>
std::string Run(Receiver& receiver, const Byte* text, std::size_t size, std::size_t split) {
    JSONParser parser;
    parser.SetReceiver(&receiver);
    try {
        parser.Begin();
        parser.Receive(text, text + split);
        parser.Receive(text + split, text + size);
        parser.End();
    } catch (const DebuggableException& error) {
        return error.what();
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const Byte* text = data + 2;
    size -= 2;
    std::size_t split = (data[0] | (data[1] << 8)) % (size + 1);

    EventRecorder whole, cut;
    std::string wholeError = Run(whole, text, size, size);
    std::string cutError = Run(cut, text, size, split);
    if (wholeError != cutError) std::abort();
    if (wholeError.empty() && whole.events != cut.events) std::abort();

    JSONValueMaker maker;
    if (Run(maker, text, size, split) != wholeError) std::abort();
    if (wholeError.empty()) maker.Result();
    return 0;
}
