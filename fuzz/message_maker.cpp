// The message parser over arbitrary bytes: the calls it makes must keep their order (fields, then
// one Body, then End), their offsets must never go backwards or past the input, every value
// receiver handed out must be begun and ended, and cutting the input in two must change nothing.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/message_maker.h"
#include "foundation/line_maker.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class CheckingReceiver : public MessageReceiver, public DataReceiver {
  public:
    explicit CheckingReceiver(std::uint64_t size) : m_size(size) {}
    std::string record;

    void Begin(std::uint64_t offset) override {
        Check(record.empty() && offset == 0);
        record += "B";
    }
    DataReceiver& Header(std::uint64_t offset, ConstData name) override {
        Check(!m_inBody && !m_fieldOpen && name.Length() < 48);
        Advance(offset);
        m_fieldOpen = true;
        record += "H" + std::string(name.View()) + ":";
        return *this;
    }
    void EndHeader(std::uint64_t offset) override {
        Check(m_fieldOpen && m_valueEnded);
        Advance(offset);
        m_fieldOpen = false;
        m_valueEnded = false;
        record += "E";
    }
    LineReceiver& Body(std::uint64_t offset) override {
        Check(!m_inBody && !m_fieldOpen);
        Advance(offset);
        m_inBody = true;
        record += "|";
        return m_body;
    }
    void End(std::uint64_t offset) override {
        Check(m_inBody && offset == m_size);
        record += "$";
    }

    void Begin() override { Check(m_fieldOpen && !m_valueBegun); m_valueBegun = true; }
    void Receive(const Byte* begin, const Byte* end) override {
        Check(m_valueBegun);
        record.append(begin, end);
    }
    void End() override {
        Check(m_valueBegun);
        m_valueBegun = false;
        m_valueEnded = true;
    }

  private:
    void Advance(std::uint64_t offset) {
        Check(offset >= m_last && offset <= m_size);
        m_last = offset;
    }

    // The body's lines.
    class BodyChecker : public LineReceiver {
      public:
        explicit BodyChecker(CheckingReceiver& owner) : m_owner(owner) {}
        void Begin(std::uint64_t offset) override { m_owner.Advance(offset); }
        void ReceiveText(const Byte* begin, const Byte* end) override { m_owner.record.append(begin, end); }
        void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override {
            Check(nextStart > textEnd);
            m_owner.Advance(textEnd);
            m_owner.Advance(nextStart);
            m_owner.record += "\n";
        }
        void End(std::uint64_t offset) override { Check(offset == m_owner.m_size); }

      private:
        CheckingReceiver& m_owner;
    };

    BodyChecker m_body{*this};
    std::uint64_t m_size;
    std::uint64_t m_last = 0;
    bool m_inBody = false;
    bool m_fieldOpen = false;
    bool m_valueBegun = false;
    bool m_valueEnded = false;
};

std::string Parse(const uint8_t* data, size_t size, size_t split) {
    CheckingReceiver receiver(size);
    MessageMaker maker(receiver);
    LineMaker lines(maker);
    lines.Begin();
    lines.Receive(data, data + split);
    lines.Receive(data + split, data + size);
    lines.End();
    return receiver.record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(Parse(data, size, size) == Parse(data, size, size / 2));
    return 0;
}
