// Linked into every test program, the tests' helper programs and the fuzz targets that reach GSSAPI:
// before main runs, KRB5_CONFIG names the tests' own Kerberos configuration (tests/krb5.conf), so no
// test and no fuzz run asks DNS for a realm or a KDC, whatever the machine's own configuration says.
// Child processes (the tests' Squid and its helpers) inherit it.
#include <cstdlib>

namespace {

[[maybe_unused]] const bool kOfflineKerberos = ::setenv("KRB5_CONFIG", KVR_KRB5_CONFIG, 1) == 0;

}  // namespace
