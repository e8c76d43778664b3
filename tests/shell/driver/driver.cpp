// The program with a test's hand inside: arms the fault seam, or posts Pause
// and Quit once every task works, then runs the program on the rest of the
// command line.
//   driver corrupt OFFSET MASK ARGS...   the next copy has a byte flipped
//   driver fail NAME COUNT CODE ARGS...  the next COUNT calls of NAME fail
//   driver pause-quit ARGS...            Pause, wait for every task to park, Quit
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/long_options.h"
#include "shell/program.h"
#include "shell/result_files.h"
#include "platform/faults.h"

namespace {

// Waits until every task `holds`; the driver ends with 3 after two minutes.
void wait_for(bool (*holds)(const Task*), const char* what)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (bool all = false; !all;) {
        all = run_settings.task_list != nullptr;
        for (const Task* task = run_settings.task_list; all && task != nullptr; task = task->next) {
            all = holds(task);
        }
        if (!all && std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "driver: timed out waiting until %s\n", what);
            std::_Exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The task list is written by the window thread before Start only, so it is
// read here once Start has been seen.
void pause_then_quit()
{
    while (run_settings.idle.load() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    wait_for([](const Task* task) { return task->state.load() == TaskState::Working && task->copy_count.load() > 1; },
             "every task works");
    PostMessageA(run_settings.main_window.load(), WM_COMMAND, MAKEWPARAM(command_pause, 0), 0);
    wait_for([](const Task* task) { return task->pause_parked.load() == 1; }, "every task parks");
    std::printf("driver: every task parked\n");
    std::fflush(stdout);
    PostMessageA(run_settings.main_window.load(), WM_COMMAND, MAKEWPARAM(command_quit, 0), 0);
}

}  // namespace

int main(int argc, char** argv)
{
    int first = 0;  // of the program's own arguments
    if (argc >= 4 && std::strcmp(argv[1], "corrupt") == 0) {
        fault_corrupt_next_copy(std::strtoul(argv[2], nullptr, 0), (BYTE)std::strtoul(argv[3], nullptr, 0));
        first = 4;
    } else if (argc >= 5 && std::strcmp(argv[1], "fail") == 0) {
        fault_arm(argv[2], std::strtoul(argv[3], nullptr, 0), std::strtoul(argv[4], nullptr, 0));
        first = 5;
    } else if (argc >= 2 && std::strcmp(argv[1], "pause-quit") == 0) {
        std::thread(pause_then_quit).detach();
        first = 2;
    } else {
        std::fprintf(stderr, "usage: driver corrupt|fail|pause-quit ...\n");
        return 2;
    }
    std::vector<std::string> arguments(argv + first, argv + argc);
    const LongOptions long_options = take_long_options(&arguments);
    set_result_files(long_options.json_path, long_options.metrics_path);
    static std::string command_line;
    for (const std::string& argument : arguments) {
        command_line += (command_line.empty() ? "" : " ") + argument;
    }
    return run_program(nullptr, command_line.c_str(), SW_SHOWNORMAL);
}
