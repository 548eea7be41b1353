#include "net/socket_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <typeindex>

namespace {

std::type_index KindThrownFor(int code) {
    try {
        ThrowSocketError(code);
    } catch (const std::exception& error) {
        return typeid(error);
    }
    return typeid(void);
}

TEST(SocketErrors, EachErrnoMapsToItsKind) {
    struct Case {
        int code;
        std::type_index kind;
    } cases[] = {
        {EINTR, typeid(SocketBusyError)},  {EMFILE, typeid(SocketFileLimit)},
        {ENFILE, typeid(SocketFileLimit)}, {EADDRINUSE, typeid(SocketAddrInUse)},
        {EAGAIN, typeid(SocketError)},     {EINPROGRESS, typeid(SocketError)},
        {ECONNRESET, typeid(SocketError)},
    };
    for (const Case& c : cases) EXPECT_EQ(KindThrownFor(c.code), c.kind) << "errno " << c.code;
}

TEST(SocketErrors, TextsNameTheFailure) {
    SocketError refused(ECONNREFUSED);
    EXPECT_EQ(refused.Code(), ECONNREFUSED);
    EXPECT_STREQ(refused.what(), "Socket Error: 111: Connection refused");
    EXPECT_STREQ(SocketClosedError().what(), "class SocketClosedError");
    SocketAddrInUse inUse;
    EXPECT_NE(dynamic_cast<const NonDumpableException*>(&inUse), nullptr);
}

}  // namespace
