// A small program on the window system for what the durandex terminal tests
// do not reach: a box from a worker while the window thread waits, Ctrl+C and
// Alt+F4, and (with "--box-first") a box before any window, as a refused
// second instance shows. Every command is logged to the file named by the
// first argument.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "records/exit_status.h"
#include "platform/resources.h"
#include "platform/ui_seam.h"
#include "platform/win32.h"

namespace {

enum ProbeCommand : UINT { quit_command = 100, worker_command = 204, ping_command = 205 };

const char* log_path = nullptr;

void log_line(const std::string& line)
{
    if (FILE* file = std::fopen(log_path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

// The window thread sleeps in a loop until the worker's box is answered, as
// the program's Pause and Quit waits do.
void worker_box_while_waiting()
{
    std::atomic<int> answer{0};
    std::thread worker([&answer] {
        answer.store(MessageBoxA(nullptr, "Worker box text", "Probe Worker", MB_OK | MB_ICONEXCLAMATION));
    });
    while (answer.load() == 0) {
        Sleep(20);
    }
    worker.join();
    log_line("worker answered " + std::to_string(answer.load()));
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    if (message != WM_COMMAND) {
        return DefWindowProcA(window, message, wparam, lparam);
    }
    log_line("main command " + std::to_string(LOWORD(wparam)));
    if (LOWORD(wparam) == quit_command) {
        PostQuitMessage(0);
    } else if (LOWORD(wparam) == worker_command) {
        worker_box_while_waiting();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    log_path = argc > 1 ? argv[1] : "/dev/null";
    if (argc > 2 && std::strcmp(argv[2], "--box-first") == 0) {
        log_line("early box answered " +
                 std::to_string(MessageBoxA(nullptr, "Already running.", "Probe Error", MB_OK | MB_ICONHAND)));
        return 0;
    }
    resources_register_menu("ProbeMenu",
                            {{"&Worker", worker_command, {}}, {"&Ping", ping_command, {}}, {"&Quit", quit_command, {}}});
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.lpszMenuName = "ProbeMenu";
    window_class.lpszClassName = "ProbeWClass";
    RegisterClassA(&window_class);
    CreateWindowExA(0, "ProbeWClass", "Probe", 0x00CA0000 | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 400, 140,
                    nullptr, nullptr, nullptr, nullptr);
    ui_set_signal_command(quit_command, exit_interrupted);
    log_line("ready");
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    log_line("ended " + std::to_string(static_cast<int>(message.wParam)));
    return static_cast<int>(message.wParam);
}
