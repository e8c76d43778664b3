// A program run inside a private tmux server, driven with keys and mouse
// reports and read back from the captured screen.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// Quotes a word for the shell that tmux runs commands with.
inline std::string shell_quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Polls until `done` holds, or the deadline passes (false then).
inline bool poll_until(const std::function<bool()>& done,
                       std::chrono::milliseconds deadline = std::chrono::seconds(15))
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A private temporary directory, removed with everything in it; an empty
// path when it could not be made.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "uiterm-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class TmuxSession {
public:
    TmuxSession(int width, int height) : width_(width), height_(height) {}
    ~TmuxSession()
    {
        if (started_) {
            tmux("kill-server");
        }
    }
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    static bool tmux_available() { return std::system("tmux -V >/dev/null 2>&1") == 0; }

    // Runs `command` (a shell command line) in a detached session.
    bool start(const std::string& command)
    {
        const std::string size = " -x " + std::to_string(width_) + " -y " + std::to_string(height_);
        started_ = !directory().empty() &&
                   std::system((server() + " -f /dev/null new-session -d" + size + " " + shell_quote(command) +
                                " >/dev/null 2>&1")
                                   .c_str()) == 0;
        return started_;
    }
    const std::filesystem::path& directory() const { return directory_.path(); }

    // Key names as tmux send-keys takes them ("M-d", "Escape", "F10", "Tab").
    void send_keys(const std::vector<std::string>& keys)
    {
        if (keys.empty()) {
            return;
        }
        std::string arguments = "send-keys";
        for (const std::string& key : keys) {
            arguments += " " + shell_quote(key);
        }
        tmux(arguments);
    }

    // A left click at a zero-based screen column and row, press then release,
    // as the SGR mouse reports curses asks xterm-256color for.
    void click(int column, int row)
    {
        const std::string at = std::to_string(column + 1) + ";" + std::to_string(row + 1);
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

    // Waits until the program has ended and its session with it.
    bool wait_until_ended()
    {
        const std::string probe = server() + " has-session >/dev/null 2>&1";
        return poll_until([&probe] { return std::system(probe.c_str()) != 0; });
    }

    // The screen as text; with attributes, the escape sequences tmux keeps.
    std::string capture(bool with_attributes = false)
    {
        return tmux(with_attributes ? "capture-pane -p -e" : "capture-pane -p");
    }
    // Runs a tmux command on this server; its output.
    std::string tmux(const std::string& arguments)
    {
        std::string output;
        FILE* pipe = popen((server() + " " + arguments + " 2>/dev/null").c_str(), "r");
        if (pipe == nullptr) {
            return output;
        }
        char buffer[4096];
        for (size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, count);
        }
        pclose(pipe);
        return output;
    }

private:
    std::string server() const { return "tmux -S " + shell_quote((directory() / "tmux.sock").string()); }

    ScratchDirectory directory_;
    int width_;
    int height_;
    bool started_ = false;
};
