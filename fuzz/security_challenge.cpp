// The NTLM and Negotiate legs of the outgoing clients' challenge answering over arbitrary challenge
// text from a proxy: after a real first leg through GSSAPI, the input is offered as the proxy's next
// challenge. The line splitting, the token's extraction and Base64 decoding, and the mechanism's own
// reading of the token must neither crash nor leak, and a refused leg must leave nothing in progress.
// The first byte chooses the mechanism. Without GSSAPI every answer is refused, which is checked too.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/proxy_authentication.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const char* word = data[0] % 2 == 0 ? "NTLM" : "Negotiate";
    std::string_view challenge(reinterpret_cast<const char*>(data + 1), size - 1);

    // One session for every input, as a relay keeps its own: each first leg starts the exchange anew.
    static HTTPClientSession session("relay", "s3cret pass", "KVRTEST", "", "", "proxy.example", 3128, false,
                                     0);
    std::string authorization;
    std::string realm;
    if (!session.AnswerChallenge("GET", word, "/", authorization, realm, true, 407)) return 0;
    Check(authorization.rfind(std::string(word) + " ", 0) == 0);

    std::string next;
    if (session.AnswerChallenge("GET", challenge, "/", next, realm, false, 407)) {
        Check(next.size() <= HTTPClientSession::kMaxAuthorizationLength);
        Check(next.find_first_of("\r\n") == std::string::npos);
    } else {
        Check(next.empty());
    }
    return 0;
}
