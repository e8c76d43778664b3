// A program run inside a private tmux server, driven with keys and mouse
// reports and read back from the captured screen.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// A private temporary directory, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    // Empty when it could not be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class TmuxSession {
public:
    // Makes a private directory for the server's socket and the test's files.
    TmuxSession(int width, int height);
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    static bool tmux_available();

    // Runs `command` (a shell command line) in a detached session.
    bool start(const std::string& command);
    const std::filesystem::path& directory() const { return directory_.path(); }

    // Key names as tmux send-keys takes them ("M-d", "Escape", "F10", "Tab").
    void send_keys(const std::vector<std::string>& keys);
    // Bytes sent to the program as they are (an SGR mouse report, for one).
    void send_bytes(const std::string& bytes);
    // A left click at a zero-based screen column and row, press then release.
    void click(int column, int row);
    void resize(int width, int height);
    // Whether the program has rung the terminal bell.
    bool bell_rung();
    // Waits until the program has ended and its session with it.
    bool wait_until_ended(std::chrono::milliseconds deadline = std::chrono::seconds(15));

    // The screen as text; with attributes, the escape sequences tmux keeps.
    std::string capture(bool with_attributes = false);
    // Polls the screen until `accept` holds or the deadline passes; returns
    // the last screen seen, and whether it was accepted.
    bool wait_for_screen(const std::function<bool(const std::string&)>& accept,
                         std::string& last_screen, bool with_attributes = false,
                         std::chrono::milliseconds deadline = std::chrono::seconds(15));
    bool wait_for_text(const std::string& text, std::string& last_screen);

private:
    std::string tmux(const std::string& arguments);

    ScratchDirectory directory_;
    std::string socket_;
    int width_;
    int height_;
    bool started_ = false;
};

// Polls a file until `accept` holds for its content or the deadline passes;
// returns the last content read.
bool wait_for_file(const std::filesystem::path& path,
                   const std::function<bool(const std::string&)>& accept, std::string& content,
                   std::chrono::milliseconds deadline = std::chrono::seconds(15));

// Quotes a word for the shell that tmux runs commands with.
std::string shell_quote(const std::string& word);
