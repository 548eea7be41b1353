// Whole files as byte strings, for tests that make or check files without the relay's own file code.
// Both throw std::runtime_error when the file cannot be read or written.
#pragma once

#include <string>
#include <string_view>

std::string ReadFileBytes(const std::string& path);
// Creates or empties the file and writes the bytes.
void WriteFileBytes(const std::string& path, std::string_view bytes);
