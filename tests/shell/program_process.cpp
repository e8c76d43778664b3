#include "program_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

std::filesystem::path fresh_directory(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? std::filesystem::path(pattern) : std::filesystem::path();
}

// Polls until `done` holds or the seconds have passed (false then).
bool poll_for(int seconds, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

[[noreturn]] void exec_program(std::string binary, std::vector<std::string> arguments,
                               const std::map<std::string, std::string>& environment,
                               const std::filesystem::path& directory)
{
    setenv("DURANDEX_UI", "headless", 1);
    for (const auto& [name, value] : environment) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    dup2(open((directory / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open((directory / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
    std::vector<char*> argv{binary.data()};
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ProgramProcess::ProgramProcess(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment, const std::string& binary)
    : directory_(fresh_directory("durandex-out-"))
{
    pid_ = fork();
    if (pid_ == 0) {
        exec_program(binary, arguments, environment, directory_);
    }
}

ProgramProcess::~ProgramProcess()
{
    if (status_ == -1 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(directory_);
}

int ProgramProcess::wait_for_exit()
{
    int raw = 0;
    if (status_ == -1 && !poll_for(120, [&] { return waitpid(pid_, &raw, WNOHANG) == pid_; })) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        status_ = -2;
        return -1;
    }
    if (status_ == -1) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_;
}

bool ProgramProcess::wait_for_output(const std::string& text)
{
    return poll_for(60, [&] { return output().find(text) != std::string::npos; });
}

void ProgramProcess::send_signal(int number)
{
    kill(pid_, number);
}

std::string ProgramProcess::output() const
{
    return read_text(directory_ / "stdout");
}

std::string ProgramProcess::errors() const
{
    return read_text(directory_ / "stderr");
}

DriveDirectories::DriveDirectories() : root(fresh_directory("durandex-drives-"))
{
    for (char letter : {'C', 'D', 'E'}) {
        drives[letter] = root / std::string(1, letter);
        std::filesystem::create_directory(drives[letter]);
    }
}

// Copies kept as evidence are read-only; they are made writable to go.
DriveDirectories::~DriveDirectories()
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root, ignored);
}

std::string DriveDirectories::setting() const
{
    std::string text;
    for (const auto& [letter, path] : drives) {
        text += (text.empty() ? "" : ";") + std::string(1, letter) + ":fixed=" + path.string();
    }
    return text;
}

std::vector<std::string> DriveDirectories::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            names.push_back(std::filesystem::relative(entry.path(), root).string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
