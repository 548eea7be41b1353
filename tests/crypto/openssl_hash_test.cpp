#include "crypto/openssl_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Md5Hex(OpenSSLHash& hash, std::initializer_list<std::string_view> pieces) {
    hash.Begin();
    for (std::string_view piece : pieces) hash.Receive(ConstData(piece));
    hash.End();
    return hash.GetDigest().ToHex();
}

TEST(OpenSSLHash, ComputesTheRfc1321VectorsWithOneStageReused) {
    OpenSSLHash hash;
    hash.Start(GetHTTPDigestMethod());
    EXPECT_EQ(Md5Hex(hash, {}), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex(hash, {"abc"}), "900150983cd24fb0d6963f7d28e17f72");
    // A message fed in pieces digests like the whole.
    EXPECT_EQ(Md5Hex(hash, {"message ", "", "digest"}), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(OpenSSLHash, RefusesUseOutOfOrder) {
    OpenSSLHash hash;
    EXPECT_THROW(hash.Begin(), DigestFailed);
    hash.Start(GetHTTPDigestMethod());
    EXPECT_THROW(hash.GetDigest(), DigestFailed);
    EXPECT_THROW(hash.Receive(ConstData(std::string_view("x"))), DigestFailed);
    hash.Begin();
    hash.Receive(ConstData(std::string_view("abc")));
    EXPECT_THROW(hash.GetDigest(), DigestFailed);
    hash.End();
    hash.Start(GetHTTPDigestMethod());
    EXPECT_THROW(hash.GetDigest(), DigestFailed);
}

}  // namespace
