#pragma once

#include <chrono>
#include <thread>

// Polls until cond() holds (true) or 10 seconds have passed (false).
template <class Cond>
bool Eventually(Cond cond)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
