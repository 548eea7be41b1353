// Helpers for the XML tests: collecting a writer's output as a string, and asking xmllint whether a
// document is well-formed.
#pragma once

#include <sys/wait.h>
#include <cstdio>
#include <string>

#include "formats/text_encodings.h"

// Collects UTF-8 text into a string.
class TextCollector : public UTextReceiver<UTF8> {
  public:
    void Begin() override { ++begins; }
    void Receive(const Byte* begin, const Byte* end) override { text.append(begin, end); }
    void End() override { ++ends; }

    std::string text;
    int begins = 0;
    int ends = 0;
};

// True when `xmllint --noout` reads the document from its standard input without complaint.
inline bool XmllintAccepts(const std::string& document) {
    FILE* lint = popen("xmllint --noout --nonet - 2>&1", "w");
    if (lint == nullptr) return false;
    std::fwrite(document.data(), 1, document.size(), lint);
    int status = pclose(lint);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
