#include "formats/q_decoding_data_maker.h"

#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

bool IsHexDigit(Byte c) {
    return Ascii::HexDigits().Contains(c);
}

// Collects decoded bytes and passes them on in blocks.
class DecodedOutput {
  public:
    explicit DecodedOutput(DataReceiver& target) : m_target(target) {}

    void Put(Byte byte) {
        if (m_length == sizeof m_block) Flush();
        m_block[m_length++] = byte;
    }
    void Flush() {
        if (m_length != 0) m_target.Receive(m_block, m_block + m_length);
        m_length = 0;
    }

  private:
    DataReceiver& m_target;
    Byte m_block[512];
    std::size_t m_length = 0;
};

}  // namespace

void QDecodingDataMaker::Begin() {
    m_heldLength = 0;
    m_target->Begin();
}

// The held bytes and the chunk are read as one text: an escape is decoded once its three bytes are
// there, a held "=" that turns out not to start one passes as itself and the bytes after it are
// read afresh.
void QDecodingDataMaker::Receive(const Byte* begin, const Byte* end) {
    DecodedOutput output(*m_target);
    for (const Byte* p = begin; p != end; ++p) {
        Byte c = *p;
        if (m_heldLength != 0) {
            if (IsHexDigit(c) && m_heldLength == 1) {
                m_held[m_heldLength++] = c;
                continue;
            }
            if (IsHexDigit(c)) {
                output.Put(static_cast<Byte>(HexDigitValue(m_held[1]) * 16 + HexDigitValue(c)));
                m_heldLength = 0;
                continue;
            }
            for (std::uint8_t i = 0; i < m_heldLength; ++i) output.Put(m_held[i]);
            m_heldLength = 0;
        }
        if (c == '=')
            m_held[m_heldLength++] = c;
        else
            output.Put(c == '_' ? Byte(' ') : c);
    }
    output.Flush();
}

void QDecodingDataMaker::End() {
    if (m_heldLength != 0) m_target->Receive(m_held, m_held + m_heldLength);
    m_heldLength = 0;
    m_target->End();
}
