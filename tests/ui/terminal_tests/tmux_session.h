// A program run inside a private tmux server, driven with keys and mouse
// reports and read back from the captured screen.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support.h"

// Quotes a word for the shell that tmux runs commands with.
inline std::string shell_quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

inline std::vector<std::string> lines_of(const std::string& screen)
{
    std::vector<std::string> lines;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Where `text` first shows on the screen, in characters and rows; -1, -1 when
// it does not.
inline std::pair<int, int> locate(const std::string& screen, const std::string& text)
{
    int row = 0;
    for (const std::string& line : lines_of(screen)) {
        if (const size_t at = line.find(text); at != std::string::npos) {
            // UTF-8 continuation bytes take no column.
            return {static_cast<int>(std::count_if(line.begin(), line.begin() + static_cast<long>(at),
                                                   [](unsigned char c) { return (c & 0xC0) != 0x80; })),
                    row};
        }
        ++row;
    }
    return {-1, -1};
}

// How long a terminal test waits for the screen or the program, and how
// often it looks: each look runs tmux.
constexpr std::chrono::seconds screen_wait{15};
constexpr std::chrono::milliseconds screen_poll{50};

// A test of a program run in a private tmux server inside a fresh temporary
// directory: skipped without tmux; keys and mouse reports go in, and the
// screen seen last is kept in screen_.
class TmuxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::system("tmux -V >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "tmux is not installed; the terminal is tested under tmux";
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "uiterm-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }

    void TearDown() override
    {
        if (!directory_.empty()) {
            tmux("kill-server");
            std::filesystem::remove_all(directory_);
        }
    }

    std::string in_directory(const std::string& name) const { return (directory_ / name).string(); }

    // Starts `program` with these settings in a fresh session; errors go to "stderr".
    void launch(int width, int height, const std::string& environment, const std::string& program)
    {
        const std::string command = "env TERM=xterm-256color LANG=C.UTF-8 DURANDEX_UI=terminal " + environment +
                                    " sh -c " + shell_quote(program + " 2>" + shell_quote(in_directory("stderr")));
        const std::string start = server() + " -f /dev/null new-session -d -x " + std::to_string(width) + " -y " +
                                  std::to_string(height) + " " + shell_quote(command) + " >/dev/null 2>&1";
        // A fresh tmux server now and then refuses its first session on a
        // loaded machine; a second try is not a second program.
        int status = std::system(start.c_str());
        for (int tries = 1; status != 0 && tries < 3; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            status = std::system(start.c_str());
        }
        ASSERT_EQ(status, 0) << "tmux did not start " << program;
    }

    // Waits for the end; a sanitizer report in the error output fails the test.
    void expect_clean_end()
    {
        const std::string probe = server() + " has-session >/dev/null 2>&1";
        EXPECT_TRUE(wait_until([&probe] { return std::system(probe.c_str()) != 0; }, screen_wait, screen_poll))
            << "no end:\n" << capture();
        const std::string errors = read_text_file(in_directory("stderr"));
        EXPECT_FALSE(contains(errors, "Sanitizer") || contains(errors, "runtime error")) << errors;
    }

    // Key names as tmux send-keys takes them ("M-d", "Escape", "F10", "Tab").
    void send_keys(const std::vector<std::string>& keys)
    {
        std::string arguments = "send-keys";
        for (const std::string& key : keys) {
            arguments += " " + shell_quote(key);
        }
        if (!keys.empty()) {
            tmux(arguments);
        }
    }

    // Clicks `offset` characters into the first place that shows `text`: a
    // press and a release, as the SGR mouse reports curses asks xterm for.
    void click_on(const std::string& text, int offset = 1)
    {
        screen_ = capture();
        const auto [column, row] = locate(screen_, text);
        ASSERT_GE(column, 0) << text << " is not on the screen:\n" << screen_;
        const std::string at = std::to_string(column + offset + 1) + ";" + std::to_string(row + 1);
        for (const char end : {'M', 'm'}) {
            std::string arguments = "send-keys -H";
            char item[8];
            for (unsigned char byte : "\x1b[<0;" + at + end) {
                std::snprintf(item, sizeof item, " %02x", byte);
                arguments += item;
            }
            tmux(arguments);
        }
    }

    // The screen as text; with attributes, the escape sequences tmux keeps.
    std::string capture(bool with_attributes = false)
    {
        return tmux(with_attributes ? "capture-pane -p -e" : "capture-pane -p");
    }

    // Sends the keys, then polls the screen until `accept` holds.
    bool wait_for_screen(const std::function<bool(const std::string&)>& accept,
                         const std::vector<std::string>& keys = {}, bool with_attributes = false)
    {
        send_keys(keys);
        return wait_until([&] {
            screen_ = capture(with_attributes);
            return accept(screen_);
        }, screen_wait, screen_poll);
    }

    // Sends the keys, then waits until `text` is on (or with `shown` false, off) the screen.
    bool wait_for(const std::string& text, const std::vector<std::string>& keys = {}, bool shown = true)
    {
        return wait_for_screen([&](const std::string& screen) { return contains(screen, text) == shown; }, keys);
    }

    bool bell_rung() { return tmux("display-message -p '#{window_bell_flag}'") == "1\n"; }

    // Runs a tmux command on this server; its output.
    std::string tmux(const std::string& arguments)
    {
        std::string output;
        if (FILE* pipe = popen((server() + " " + arguments + " 2>/dev/null").c_str(), "r")) {
            char buffer[4096];
            for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
                output.append(buffer, count);
            }
            pclose(pipe);
        }
        return output;
    }

    std::string server() const { return "tmux -S " + shell_quote(in_directory("tmux.sock")); }

    std::filesystem::path directory_;
    std::string screen_;
};
