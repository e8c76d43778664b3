// Waiting on a condition, counting in a text and reading a whole file, for
// every test program.
#pragma once

#include <chrono>
#include <cstdlib>
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

// Makes ext4 in a sparse image of `size` ("256M", or bytes) with mkfs.ext4's
// extra `options` and loop-mounts it on `directory`; gives why it could
// not (it needs root), or nothing.
inline std::string loop_mount_ext4(const std::string& image, const std::string& directory, const std::string& size,
                                   const std::string& options = "")
{
    const std::string make = "truncate -s " + size + " " + image + " && mkfs.ext4 -q -F " + options + " " + image +
                             " && mount -o loop " + image + " " + directory;
    if (std::system((make + " >/dev/null 2>&1").c_str()) != 0) {
        return "needs root, mkfs.ext4 and a loop device: " + make;
    }
    return "";
}
