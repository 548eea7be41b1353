#include "net/local_server_url.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/registry_functions.h"
#include "support/temporary_registry.h"

namespace {

// The URL is read once per process, so each case is read in a child process of its own; the child's
// exit status is 0 when the check holds.
template <class Check>
void ExpectInChild(const char* hostname, Check check) {
    TemporaryRegistry registry;
    if (hostname)
        ASSERT_TRUE(WriteRegistryString(RegistryRoot::LocalMachine,
                                        "Software\\Veltra\\Daruravidu Server\\Installer", "Hostname",
                                        hostname));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(check() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << (hostname ? hostname : "(no setting)");
}

TEST(LocalServerURL, TheHostnameSettingOrTheLoopbackServer) {
    ExpectInChild(nullptr, [] {
        const URL& url = LocalServerURL();
        return url.Host() == "127.0.0.1" && url.Port() == 52311 && url.Scheme() == "http";
    });
    ExpectInChild("https://relay.example.com:8443/base/",
                  [] { return LocalServerURL().ToString() == "https://relay.example.com:8443/base/"; });
}

TEST(LocalServerURL, ASettingWithABadPortIsRefusedAtEveryCall) {
    ExpectInChild("http://relay:port/", [] {
        for (int call = 0; call < 2; ++call) {
            try {
                LocalServerURL();
                return false;
            } catch (const InvalidPortNumber&) {
            }
        }
        return true;
    });
}

}  // namespace
