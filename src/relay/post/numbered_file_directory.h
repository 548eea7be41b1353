// NumberedFileDirectory: names new files of a directory by a counter that only grows, so that every
// report the relay keeps gets a name no earlier file of that directory had, and listing the names
// in order lists the files in the order they were named.
//
// A name is the counter as exactly 16 lower-case hexadecimal digits, without extension (number 26
// is "000000000000001a"). The counter starts at 1 and, at construction and at each Scan, moves past
// every name found: an entry whose name up to its first "." (all of it when it has none) is a
// hexadecimal numeral of at most 64 bits sets the counter to at least that value + 1. Other names,
// and "ffffffffffffffff" (which has no successor), are skipped. Scanning another directory too (the
// carbon copies, the rejected files) keeps names unique across both.
//
// Thread-safe: NextFile and Scan take the counter's lock, so two threads never get the same name.
#pragma once

#include <cstdint>

#include "base/file_location.h"
#include "foundation/critical_section.h"

class NumberedFileDirectory {
  public:
    // Scans the directory; a missing one leaves the counter at 1.
    explicit NumberedFileDirectory(FileLocation directory);
    NumberedFileDirectory(const NumberedFileDirectory&) = delete;
    NumberedFileDirectory& operator=(const NumberedFileDirectory&) = delete;

    const FileLocation& GetLocation() const { return m_directory; }
    // The directory joined with the next name; the counter moves on.
    FileLocation NextFile();
    // Moves the counter past every numbered name in `directory`.
    void Scan(const FileLocation& directory);

  private:
    FileLocation m_directory;
    CriticalSection m_lock;
    std::uint64_t m_next = 1;  // under m_lock
};

// The 16-digit name of a number.
FileName NumberedFileName(std::uint64_t number);
