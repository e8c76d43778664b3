#include "tmux_session.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr auto poll_interval = std::chrono::milliseconds(50);

std::string run_and_read(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, count);
    }
    pclose(pipe);
    return output;
}


std::string hex_bytes(const std::string& bytes)
{
    std::string out;
    char item[8];
    for (unsigned char byte : bytes) {
        std::snprintf(item, sizeof item, " %02x", byte);
        out += item;
    }
    return out;
}

}  // namespace

std::string shell_quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool TmuxSession::tmux_available()
{
    return std::system("tmux -V >/dev/null 2>&1") == 0;
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "uiterm-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

ScratchDirectory::~ScratchDirectory()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

TmuxSession::TmuxSession(int width, int height) : width_(width), height_(height)
{
    if (!directory().empty()) {
        socket_ = (directory() / "tmux.sock").string();
    }
}

bool TmuxSession::start(const std::string& command)
{
    if (directory().empty()) {
        return false;
    }
    std::ostringstream start;
    start << "tmux -S " << shell_quote(socket_) << " -f /dev/null new-session -d -x " << width_
          << " -y " << height_ << " " << shell_quote(command) << " >/dev/null 2>&1";
    started_ = std::system(start.str().c_str()) == 0;
    return started_;
}

TmuxSession::~TmuxSession()
{
    if (started_) {
        tmux("kill-server");
    }
}

std::string TmuxSession::tmux(const std::string& arguments)
{
    return run_and_read("tmux -S " + shell_quote(socket_) + " " + arguments + " 2>/dev/null");
}

void TmuxSession::send_keys(const std::vector<std::string>& keys)
{
    std::string arguments = "send-keys";
    for (const std::string& key : keys) {
        arguments += " " + shell_quote(key);
    }
    tmux(arguments);
}

void TmuxSession::send_bytes(const std::string& bytes)
{
    tmux("send-keys -H" + hex_bytes(bytes));
}

void TmuxSession::click(int column, int row)
{
    // SGR mouse reports (the mode curses asks xterm-256color for), one-based.
    const std::string at = std::to_string(column + 1) + ";" + std::to_string(row + 1);
    send_bytes("\x1b[<0;" + at + "M");
    send_bytes("\x1b[<0;" + at + "m");
}

void TmuxSession::resize(int width, int height)
{
    tmux("resize-window -x " + std::to_string(width) + " -y " + std::to_string(height));
}

bool TmuxSession::bell_rung()
{
    return tmux("display-message -p '#{window_bell_flag}'") == "1\n";
}

bool TmuxSession::wait_until_ended(std::chrono::milliseconds deadline)
{
    const std::string probe = "tmux -S " + shell_quote(socket_) + " has-session >/dev/null 2>&1";
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (std::system(probe.c_str()) == 0) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(poll_interval);
    }
    return true;
}

std::string TmuxSession::capture(bool with_attributes)
{
    return tmux(with_attributes ? "capture-pane -p -e" : "capture-pane -p");
}

bool TmuxSession::wait_for_screen(const std::function<bool(const std::string&)>& accept,
                                  std::string& last_screen, bool with_attributes,
                                  std::chrono::milliseconds deadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        last_screen = capture(with_attributes);
        if (accept(last_screen)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(poll_interval);
    }
}

bool TmuxSession::wait_for_text(const std::string& text, std::string& last_screen)
{
    return wait_for_screen(
        [&text](const std::string& screen) { return screen.find(text) != std::string::npos; },
        last_screen);
}

bool wait_for_file(const std::filesystem::path& path,
                   const std::function<bool(const std::string&)>& accept, std::string& content,
                   std::chrono::milliseconds deadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        content = text.str();
        if (accept(content)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(poll_interval);
    }
}
