// Waiting on a condition, counting in a text and reading a whole file, for
// every test program.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

// Polls `condition` every `poll` until it holds or `timeout` passes; returns
// its last value. The deadline only bounds a hang: no test depends on how fast
// anything is. Conditions that start a process poll less often.
inline bool wait_until(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::minutes(2),
                       std::chrono::milliseconds poll = std::chrono::milliseconds(5))
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !condition();) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(poll);
    }
    return true;
}

// How many times `needle` occurs in `text`, overlaps included.
inline size_t count_of(const std::string& text, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// The file's bytes; empty when it cannot be read.
inline std::string read_text_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
