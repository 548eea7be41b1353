// The address parsers over arbitrary bytes: they must never crash or throw anything but their own
// errors; an address that the C library's inet_pton reads must read the same here, and a MAC
// address must come back unchanged through its text form.

#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/numerals.h"
#include "net/ip_address.h"
#include "net/ip_subnet.h"
#include "net/mac_address.h"
#include "net/version_quad.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckAgainstPlatform(const std::string& text) {
    IPAddress parsed = TryParseIPAddress(text);
    std::string address = text.substr(0, text.find('%'));
    if (address.find('\0') != std::string::npos) return;
    Byte bytes[16];
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
        Check(parsed.IsValid() && !parsed.IsIPv6());
        Check(std::equal(bytes, bytes + 4, parsed.Bytes().begin() + 12));
    } else if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
        Check(parsed.IsValid() && parsed.IsIPv6());
        Check(std::equal(bytes, bytes + 16, parsed.Bytes().begin()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CheckAgainstPlatform(text);
    try {
        ParseIPSubnet(text);
    } catch (const NotAnIPSubnet&) {
    } catch (const NotAnIPAddress&) {
    } catch (const SubnetPrefixLengthTooLarge&) {
    } catch (const NonCanonicalSubnetAddress&) {
    } catch (const NotANumeral&) {
    } catch (const NumeralTooLarge&) {
    }
    try {
        MACAddress mac = ParseMACAddress(text);
        Check(ParseMACAddress(mac.ToString().View()) == mac);
    } catch (const NotAMACAddress&) {
    } catch (const NotANumeral&) {
    } catch (const NumeralTooLarge&) {
    }
    VersionQuad version;
    if (!ParseVersionQuad(text, version)) Check(version.count == 0);
    return 0;
}
