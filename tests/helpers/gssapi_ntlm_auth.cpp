// An NTLM authentication helper for the tests' Squid (support/squid_proxy.h): it checks each
// handshake through GSSAPI with gss-ntlmssp against the user file named by its one argument, so a
// wrong password is refused as a real NTLM proxy would refuse it.
//
// Squid's stateful helper protocol, one line each way, messages in Base64: "YR <negotiate message>"
// is answered with "TT <challenge message>", "KK <authenticate message>" with "AF <DOMAIN\user>" or
// "NA <reason>"; anything else with "BH <reason>".
#include <stdlib.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "formats/base64_codec.h"
#include "support/gssapi_acceptor.h"

namespace {

std::string Answer(std::string_view line, std::unique_ptr<GSSAPIAcceptor>& acceptor) {
    std::string_view request = line.substr(0, 2);
    std::string message = line.size() > 3 ? Base64DecodeText(ConstData(line.substr(3))) : std::string();
    if (request == "YR")
        acceptor = std::make_unique<GSSAPIAcceptor>(GSSAPIAcceptor::Mechanism::NTLM);
    else if (request != "KK" || !acceptor)
        return "BH unexpected request";
    std::string reply;
    switch (acceptor->Accept(message, reply)) {
        case GSSAPIAcceptor::State::Continue:
            return "TT " + Base64EncodeText(ConstData(reply));
        case GSSAPIAcceptor::State::Complete: {
            std::string user = acceptor->InitiatorName();
            acceptor.reset();
            return "AF " + user;
        }
        case GSSAPIAcceptor::State::Failed:
            break;
    }
    acceptor.reset();
    return "NA invalid credentials";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: gssapi_ntlm_auth USER-FILE\n";
        return 2;
    }
    ::setenv("NTLM_USER_FILE", argv[1], 1);
    std::unique_ptr<GSSAPIAcceptor> acceptor;
    for (std::string line; std::getline(std::cin, line);) {
        try {
            std::cout << Answer(line, acceptor) << std::endl;
        } catch (const std::exception& error) {
            acceptor.reset();
            std::cout << "BH " << error.what() << std::endl;
        }
    }
    return 0;
}
