// A registry folder of the test's own: a TemporaryFolder named in VELTRA_REGISTRY_DIR for as long as
// the object lives.
#pragma once

#include <string>

#include "support/temporary_folder.h"

class TemporaryRegistry {
  public:
    TemporaryRegistry();
    ~TemporaryRegistry();
    TemporaryRegistry(const TemporaryRegistry&) = delete;
    TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

    const std::string& Folder() const { return m_folder.Path(); }
    // Names this folder in VELTRA_REGISTRY_DIR again (after another TemporaryRegistry took it).
    void MakeCurrent() const;
    // The machine hive's file.
    std::string MachineHivePath() const { return m_folder / "HKLM.reg"; }

  private:
    TemporaryFolder m_folder;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Replaces a file by a new one, as an editor saving it would; a test failure when that cannot be done.
void WriteWholeFile(const std::string& path, const std::string& content);
