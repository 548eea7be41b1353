// The response-head parser and the chunked-body drain of the outgoing HTTP clients over arbitrary
// bytes, cut into pieces whose sizes the first byte chooses: they must throw nothing but their own
// errors, keep the head within its bound, and read the same however the input is cut.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "crypto/openssl_startup.h"
#include "http/http_client_session.h"
#include "http/response_head_parser.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

struct Outcome {
    bool failed = false;
    bool complete = false;
    unsigned status = 0;
    std::uint64_t length = 0;
    std::string head;
    std::string challenges;
    bool bodyComplete = false;
};

Outcome Parse(const Byte* data, std::size_t size, std::size_t piece) {
    Outcome outcome;
    ResponseHeadParser parser;
    ChunkedBodyDrain drain;
    try {
        for (std::size_t at = 0; at < size; at += piece) {
            ConstData input(data + at, std::min(piece, size - at));
            const Byte* before = input.begin;
            bool complete = parser.Consume(input);
            Check(input.begin >= before && input.end == data + at + std::min(piece, size - at));
            if (complete && !drain.IsComplete()) drain.Consume(input);
        }
    } catch (const ResponseHeadTooLarge&) {
        outcome.failed = true;
    } catch (const MalformedContentLength&) {
        outcome.failed = true;
    } catch (const MalformedChunkedBody&) {
        outcome.failed = true;
    }
    Check(parser.Head().size() <= ResponseHeadParser::kMaxHeadLength);
    outcome.complete = parser.IsComplete();
    outcome.status = parser.StatusCode();
    outcome.length = parser.ContentLength();
    outcome.head = parser.Head();
    outcome.challenges = parser.ServerChallenges() + parser.ProxyChallenges();
    outcome.bodyComplete = drain.IsComplete();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The Digest answers hash through the crypto library, which the service starts before any request.
    static const bool started = (InitializeOpenSSL(false), true);
    (void)started;
    if (size == 0) return 0;
    std::size_t piece = data[0] % 16 + 1;
    Outcome whole = Parse(data + 1, size - 1, size);
    Outcome pieces = Parse(data + 1, size - 1, piece);
    Check(whole.failed == pieces.failed);
    if (!whole.failed) {
        Check(whole.complete == pieces.complete && whole.status == pieces.status &&
              whole.length == pieces.length);
        Check(whole.head == pieces.head && whole.challenges == pieces.challenges);
        Check(whole.bodyComplete == pieces.bodyComplete);
    }
    // Whatever the challenges say, answering them must not fail.
    HTTPClientSession session("u", "p", "", "u", "p", "proxy", 3128, false, 0);
    std::string authorization;
    std::string realm;
    session.AnswerChallenge("GET", whole.challenges, "/", authorization, realm, true, 401);
    Check(authorization.size() <= HTTPClientSession::kMaxAuthorizationLength);
    return 0;
}
