#include "program_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::filesystem::path fresh_directory(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

[[noreturn]] void exec_program(std::string binary, const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment, const std::string& out,
                               const std::string& err)
{
    setenv("DURANDEX_UI", "headless", 1);
    for (const auto& [name, value] : environment) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    dup2(null_fd, STDIN_FILENO);
    std::vector<char*> argv;
    argv.push_back(binary.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ProgramProcess::ProgramProcess(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment, const std::string& binary)
{
    const std::filesystem::path directory = fresh_directory("durandex-out-");
    out_path_ = directory / "stdout";
    err_path_ = directory / "stderr";
    pid_ = fork();
    if (pid_ == 0) {
        exec_program(binary, arguments, environment, out_path_.string(), err_path_.string());
    }
}

ProgramProcess::~ProgramProcess()
{
    if (status_ == -1 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(out_path_.parent_path());
}

int ProgramProcess::wait_for_exit(std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (status_ == -1) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            status_ = -2;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

bool ProgramProcess::wait_for_output(const std::string& text, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void ProgramProcess::send_signal(int number)
{
    kill(pid_, number);
}

std::string ProgramProcess::output() const
{
    return read_text(out_path_);
}

std::string ProgramProcess::errors() const
{
    return read_text(err_path_);
}

DriveDirectories::DriveDirectories() : root(fresh_directory("durandex-drives-"))
{
    for (char letter : {'C', 'D', 'E'}) {
        drives[letter] = root / std::string(1, letter);
        std::filesystem::create_directory(drives[letter]);
    }
}

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
