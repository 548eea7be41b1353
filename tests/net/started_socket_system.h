// Test helper: the process-wide socket system, started on the real kernel.
#pragma once

#include <gtest/gtest.h>

#include "net/socket_system.h"

inline const SocketSystem& StartedSocketSystem() {
    static const bool started = SocketSystem::Instance().Start(0, 0, {});
    EXPECT_TRUE(started);
    return SocketSystem::Instance();
}
