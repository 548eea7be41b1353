// Sends standard error to a temporary file for the object's lifetime; Text() is what was written so
// far.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

class CapturedStandardError {
  public:
    CapturedStandardError() : m_file(std::tmpfile()), m_saved(::dup(STDERR_FILENO)) {
        std::fflush(stderr);
        ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        std::fclose(m_file);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

    std::string Text() {
        std::fflush(stderr);
        std::string text;
        char buffer[256];
        std::rewind(m_file);
        while (std::size_t count = std::fread(buffer, 1, sizeof buffer, m_file)) text.append(buffer, count);
        return text;
    }

  private:
    std::FILE* m_file;
    int m_saved;
};
