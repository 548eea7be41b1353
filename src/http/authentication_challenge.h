// The text of one "WWW-Authenticate" or "Proxy-Authenticate" challenge, as the HTTP clients' session
// and the Digest answer read it: the scheme word, and the comma-separated name=value parameters
// after it (RFC 7235), values being tokens or quoted strings.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One challenge line split at the end of its first word; blanks before the word are skipped.
struct ChallengeLine {
    std::string_view scheme;
    std::string_view parameters;
};
ChallengeLine SplitChallengeLine(std::string_view line);

// Whether a scheme word or a token value (such as Digest's algorithm) is `name`, ASCII case ignored.
bool IsAuthWord(std::string_view word, std::string_view name);

// The parameters with the blanks around them removed, for a scheme whose parameter is one token
// (NTLM, Negotiate).
std::string_view ChallengeToken(std::string_view parameters);

// The name=value pairs in their order, quoted values unquoted (so a quoted qop list such as
// "auth,auth-int" stays one value).
using AuthParameters = std::vector<std::pair<std::string, std::string>>;

// False for malformed text (a name without "=", an unterminated quote).
bool ParseAuthParameters(std::string_view text, AuthParameters& parameters);
// The value of the first parameter called `name` (ASCII case ignored), or null.
const std::string* FindAuthParameter(const AuthParameters& parameters, std::string_view name);

// Whether a comma-separated list value (such as Digest's qop list) holds `item`, ASCII case ignored
// and blanks around each entry skipped.
bool AuthListHolds(std::string_view list, std::string_view item);
