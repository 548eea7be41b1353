// Every HTTP test runs with the crypto library started, as the service starts it before it serves or
// sends anything: the Digest answers and the TLS listener go through it.
#include <gtest/gtest.h>

#include "crypto/openssl_startup.h"

namespace {

class StartedOpenSSL : public ::testing::Environment {
  public:
    void SetUp() override { InitializeOpenSSL(false); }
};

const ::testing::Environment* const kStartedOpenSSL = ::testing::AddGlobalTestEnvironment(new StartedOpenSSL);

}  // namespace
