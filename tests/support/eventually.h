// Eventually: polls a condition until it holds or the time runs out, for tests that wait for the work
// of another thread or process.
#pragma once

#include <chrono>
#include <thread>

// Answers whether the condition came true within the limit (five seconds unless told), asked every
// few milliseconds.
template <class Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
