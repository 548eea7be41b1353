// The test PKI of tests/pki/make-pki.sh (root, registrar, site and operator certificates carrying the
// product's own extensions, CRLs with fixed dates) and of its sibling scripts (pki-signed.sh: a site
// hierarchy with labelled subject fields and detached signatures of filelist.txt, as DER "*.p7s" and as
// multipart/signed "*.smime"), made with the openssl command line once per build tree and fixture
// scripts, and shared by every test program that needs it. Each script's header lists its files.
#pragma once

#include <string>

// The folder holding the fixture files; made on the first call (a few seconds). Throws
// std::runtime_error when the script fails.
const std::string& TestPKIFolder();
// The bytes of one fixture file, such as "site.der" or "registrar-new.crl.der".
std::string ReadTestPKIFile(const std::string& name);
