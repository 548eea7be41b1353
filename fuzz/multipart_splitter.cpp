// Hostile multipart bodies: the splitter must deliver the same parts whether the body arrives whole
// or in chunks, every part as one well-formed Begin ... End sequence whose offsets stay inside the
// body and never go back. Input: the first byte sets the chunk size, the first line is the
// boundary, the rest is the body.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/multipart_splitter.h"
#include "foundation/line_maker.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Records the parts and checks the shape of the calls as they come.
class CheckingRecorder : public LineReceiver {
  public:
    explicit CheckingRecorder(std::uint64_t bodyLength) : m_bodyLength(bodyLength) {}

    void Begin(std::uint64_t start) override {
        Check(!m_inPart);
        Advance(start);
        m_inPart = true;
        record += "[" + std::to_string(start);
    }
    void ReceiveText(const Byte* begin, const Byte* end) override {
        Check(m_inPart);
        record.append(begin, end);
    }
    void EndLine(std::uint64_t start, std::uint64_t end) override {
        Check(m_inPart && start < end);
        Advance(start);
        Advance(end);
        record += "|";
    }
    void End(std::uint64_t total) override {
        Check(m_inPart);
        Advance(total);
        m_inPart = false;
        record += std::to_string(total) + "]";
    }

    std::string record;

  private:
    void Advance(std::uint64_t offset) {
        Check(offset >= m_offset && offset <= m_bodyLength);
        m_offset = offset;
    }

    std::uint64_t m_bodyLength;
    std::uint64_t m_offset = 0;
    bool m_inPart = false;
};

std::string Split(ConstData boundary, ConstData body, std::size_t chunk) {
    CheckingRecorder parts(body.Length());
    MultipartSplitter splitter(parts, boundary);
    LineMaker lines(splitter);
    lines.Begin();
    for (const Byte* at = body.begin; at < body.end;) {
        const Byte* end = static_cast<std::size_t>(body.end - at) < chunk ? body.end : at + chunk;
        lines.Receive(at, end);
        at = end;
    }
    lines.End();
    return parts.record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t chunk = data[0] % 16 + 1;
    ConstData input(data + 1, size - 1);
    const Byte* lineEnd = std::find(input.begin, input.end, Byte('\n'));
    ConstData boundary(input.begin, lineEnd);
    ConstData body(lineEnd == input.end ? lineEnd : lineEnd + 1, input.end);
    Check(Split(boundary, body, chunk) == Split(boundary, body, body.Length() + 1));
    return 0;
}
