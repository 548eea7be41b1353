// A fresh folder for one test, under $KVR_TEST_TMPDIR (set by CTest) or the system temporary folder,
// removed with everything in it when the test ends.
#pragma once

#include <string>

class TemporaryFolder {
  public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::string& Path() const { return m_path; }
    // Path() + "/" + name.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};
