// The tests' download plug-in (tests/support/test_download_plugin.py, whose header tells what it does)
// installed as "<folder>/plugin" with its settings beside it, both in a folder of mode 0755 that the
// relay trusts (only the test's user can change it). Folder() then also collects what each run
// leaves: "runs" and its downloads files.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

class TestDownloadPlugin {
  public:
    enum class Behaviour { Succeed, Fail, Exit, Hang, Linger };

    // Installs the plug-in in `folder`, which is created; it behaves as Succeed with no files.
    explicit TestDownloadPlugin(std::string folder);

    // Writes the plug-in's settings: its behaviour, the content of each URL (Succeed, Linger), the
    // error text of Fail (none: null) and how long Linger stays.
    void Configure(Behaviour behaviour, const std::map<std::string, std::string>& files = {},
                   const std::string* error = nullptr, int lingerSeconds = 1);

    const std::string& Folder() const { return m_folder; }
    const std::string& Program() const { return m_program; }
    // The process ids of its runs so far, in order.
    std::vector<pid_t> Runs() const;
    // The downloads file that the run got, byte for byte.
    std::string DownloadsFileOf(pid_t run) const;
    // Waits (up to 20 s) until it has been run `count` times; the runs.
    std::vector<pid_t> AwaitRuns(std::size_t count) const;

    // The text of an inbox message that registers the plug-in for the protocol.
    std::string AddMessage(const std::string& protocol) const;

  private:
    std::string m_folder;
    std::string m_program;
};
