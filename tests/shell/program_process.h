// Runs a binary (the durandex program by default) as a child process, over
// drive letters mapped to temporary directories, and reads what it prints.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

class ProgramProcess {
public:
    // Starts the binary with `arguments` and these extra environment variables
    // (DURANDEX_UI is headless unless given), input from /dev/null.
    ProgramProcess(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
                   const std::string& binary = DURANDEX_BINARY);
    ~ProgramProcess();

    // The exit status (128 + the signal when killed by one); -1 when the
    // child has not ended within two minutes (it is killed then).
    int wait_for_exit();
    // Polls standard output until it contains `text`, for up to a minute.
    bool wait_for_output(const std::string& text);
    void send_signal(int number);

    std::string output() const;
    std::string errors() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::filesystem::path directory_;
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
