// Runs the durandex binary headless as a child process, over drive letters
// mapped to temporary directories, and reads what it prints.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

class ProgramProcess {
public:
    // Starts the program (or another binary) with `arguments` and these extra
    // environment variables (DURANDEX_UI is headless unless given).
    ProgramProcess(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
                   const std::string& binary = DURANDEX_BINARY);
    ~ProgramProcess();

    // Waits for the exit status; -1 after `timeout` (the child is killed).
    int wait_for_exit(std::chrono::seconds timeout = std::chrono::seconds(120));
    // Polls standard output until it contains `text`.
    bool wait_for_output(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(60));
    void send_signal(int number);

    std::string output() const;
    std::string errors() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::filesystem::path out_path_;
    std::filesystem::path err_path_;
};

// Three directories C, D and E under a fresh root, as DURANDEX_DRIVES text.
struct DriveDirectories {
    DriveDirectories();
    ~DriveDirectories();
    std::filesystem::path root;
    std::map<char, std::filesystem::path> drives;
    std::string setting() const;
    // Every regular file under the root, relative to it, sorted.
    std::vector<std::string> files() const;
};

std::string read_text(const std::filesystem::path& path);
