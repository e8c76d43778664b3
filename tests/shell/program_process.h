// Runs a binary (the durandex program by default) as a child process, over
// drive letters mapped to temporary directories, and reads what it prints.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <cstdio>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support.h"

// How often a test looks at a running program: each look reads its output
// or starts a process.
constexpr std::chrono::milliseconds program_poll{20};

// What a shell command prints on standard output.
inline std::string output_of(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        text += buffer;
    }
    return text;
}

// Undoes a test's mounts however the test ends.
struct Unmount {
    std::string command;
    ~Unmount() { std::system(command.c_str()); }
};

inline bool installed(const char* program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::filesystem::path fresh_directory(const char* prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

class ProgramProcess {
public:
    // Starts the binary with `arguments` and these extra environment variables
    // (DURANDEX_UI is headless unless given), input from /dev/null.
    ProgramProcess(std::vector<std::string> arguments, const std::map<std::string, std::string>& environment,
                   std::string binary = DURANDEX_BINARY)
        : directory_(fresh_directory("durandex-out-")), pid_(fork())
    {
        if (pid_ != 0) {
            return;
        }
        setenv("DURANDEX_UI", "headless", 1);
        for (const auto& [name, value] : environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        dup2(open((directory_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        dup2(open((directory_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        std::vector<char*> argv{binary.data()};
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }

    ~ProgramProcess()
    {
        if (status_ == -1 && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(directory_);
    }

    // The exit status (128 + the signal when killed by one); -1 when the
    // child has not ended within two minutes (it is killed on destruction).
    int wait_for_exit()
    {
        int raw = 0;
        const auto reaped = [&] { return waitpid(pid_, &raw, WNOHANG) == pid_; };
        if (status_ == -1 && wait_until(reaped, std::chrono::seconds(120), program_poll)) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
        return status_;
    }

    // Polls standard output until it contains `text`, for up to a minute.
    bool wait_for_output(const std::string& text)
    {
        const auto shown = [&] { return output().find(text) != std::string::npos; };
        return wait_until(shown, std::chrono::seconds(60), program_poll);
    }

    void send_signal(int number) { kill(pid_, number); }
    pid_t pid() const { return pid_; }
    std::string output() const { return read_text_file(directory_ / "stdout"); }
    std::string errors() const { return read_text_file(directory_ / "stderr"); }

private:
    std::filesystem::path directory_;
    pid_t pid_;
    int status_ = -1;
};

// Three directories C, D and E, and "lock" for the instance, under a fresh root.
// Copies fill a target's free space: as root each drive is a bounded tmpfs,
// so that no run fills the machine's own filesystem.
struct DriveDirectories {
    DriveDirectories() : root(fresh_directory("durandex-drives-"))
    {
        std::filesystem::create_directory(root / "lock");
        for (char letter : {'C', 'D', 'E'}) {
            drives[letter] = root / std::string(1, letter);
            std::filesystem::create_directory(drives[letter]);
            if (geteuid() == 0 && mount("tmpfs", drives[letter].c_str(), "tmpfs", 0, "size=96m") == 0) {
                mounted.push_back(drives[letter]);
            }
        }
    }
    ~DriveDirectories()
    {
        for (const std::filesystem::path& mount_point : mounted) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
        std::filesystem::remove_all(root);
    }

    // The drives as fixed drives, with the instance lock, registry and event
    // log under the root and minutes passing in seconds at the default scale.
    std::map<std::string, std::string> environment(const std::string& time_scale = "60") const
    {
        std::string map;
        for (const auto& [letter, path] : drives) {
            map += std::string(map.empty() ? "" : ";") + letter + ":fixed=" + path.string();
        }
        return {{"DURANDEX_DRIVES", map},
                {"DURANDEX_TIME_SCALE", time_scale},
                {"DURANDEX_INSTANCE", (root / "lock").string()},
                {"DURANDEX_REGISTRY", (root / "registry").string()},
                {"DURANDEX_EVENT_LOG", (root / "events").string()}};
    }

    // Every regular file under the root, relative to it, sorted.
    std::vector<std::string> files() const
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

    std::filesystem::path root;
    std::map<char, std::filesystem::path> drives;
    std::vector<std::filesystem::path> mounted;
};
