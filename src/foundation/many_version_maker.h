// ManyVersionMaker: reads a list of versions, such as a header's '3, 17 ,250', into a fixed list of
// kManyVersionCount entries.
//
// Each decimal number fills the next entry with its low 32 bits (4294967295 when it does not fit in
// 64 bits); "," and blanks only separate; numbers beyond the last entry are dropped. The first byte
// that is none of these ends the list: it and everything after it are ignored. At End the entries
// after the last number are set to 0. The text may arrive in chunks cut anywhere.
//
// Used by one thread at a time; the list must outlive the text's Begin-End run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/data_pipeline.h"

constexpr std::size_t kManyVersionCount = 128;
using ManyVersionList = std::array<std::uint32_t, kManyVersionCount>;

class ManyVersionMaker {
  public:
    // The receiver to write the list's text into; the values go into `output`.
    DataReceiver& GetReceiver(ManyVersionList& output);

  private:
    class Lexer : public DataReceiver {
      public:
        void Begin() override;
        void Receive(const Byte* begin, const Byte* end) override;
        void End() override;

        ManyVersionList* m_output = nullptr;

      private:
        void Take(Byte c);
        void EndNumeral();

        enum class Run { None, Numeral, IgnoredRest };
        Run m_run = Run::None;
        std::uint64_t m_numeral = 0;
        bool m_numeralOverflowed = false;
        std::size_t m_count = 0;
    };

    Lexer m_lexer;
};
