// The signed masthead fixtures of tests/pki/pki-mastheads.sh and the set-up every masthead test
// needs: the crypto library started and the fixtures' masthead root as the built-in root.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/file_location.h"
#include "crypto/masthead_signature_policy.h"
#include "crypto/openssl_startup.h"
#include "support/test_pki.h"

inline std::string MastheadFixturePath(const std::string& name) { return TestPKIFolder() + "/mastheads/" + name; }

inline FileLocation MastheadFixture(const std::string& name) {
    return FileLocation(MastheadFixturePath(name).c_str());
}

inline const char* const kFixtureActionURL = "http://relay.example:52311/cgi-bin/bfgather.exe/actionsite";

class MastheadFixtureTest : public testing::Test {
  public:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        SetMastheadRootFolder(FileLocation((TestPKIFolder() + "/mastheads/roots").c_str()));
    }
};

// The what() text of the exception the call throws; empty when it throws none.
template <class Call>
std::string FailureOf(Call call) {
    try {
        call();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}
