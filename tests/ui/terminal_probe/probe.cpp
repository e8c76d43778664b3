// A small program on the window system for the terminal tests: a menu with
// mnemonics, a greyed item and a pop-up of two checkable items, a dialog from
// a byte-level template, message boxes from the window thread and from a
// worker while the window thread waits. Every WM_COMMAND is logged to the
// file named by the first argument. With "--box-first" as the second, it only
// shows a box before any window exists, as a refused second instance does.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/resources.h"
#include "platform/ui_seam.h"
#include "platform/win32.h"
#include "tests/ui/dialog_template_bytes.h"

namespace {

enum ProbeCommand : UINT {
    quit_command = 100,
    alpha_command = 201,
    greyed_command = 202,
    box_command = 203,
    worker_command = 204,
    dialog_command = 205,
    beep_command = 207,
    first_option = 210,
    second_option = 211,
};

const char* log_path = nullptr;
HWND probe_dialog = nullptr;
int alpha_count = 0;

void log_line(const std::string& line)
{
    FILE* file = std::fopen(log_path, "a");
    if (file != nullptr) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const UINT id = LOWORD(wparam);
    log_line("dialog command " + std::to_string(id));
    if (id == IDCANCEL || id == 105) {
        DestroyWindow(dialog);
        probe_dialog = nullptr;
    }
    return TRUE;
}

void open_dialog(HWND window)
{
    static const std::vector<WORD> bytes = drives_template(2);
    if (probe_dialog == nullptr) {
        probe_dialog = CreateDialogIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()),
                                                  window, dialog_proc, 0);
        log_line(probe_dialog != nullptr ? "dialog opened" : "dialog failed");
    }
}

void choose_option(HWND window, UINT chosen)
{
    HMENU options = GetSubMenu(GetMenu(window), 2);
    for (UINT id : {first_option, second_option}) {
        CheckMenuItem(options, id, MF_BYCOMMAND | (id == chosen ? MF_CHECKED : MF_UNCHECKED));
    }
    DrawMenuBar(window);
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

void carry_out(HWND window, UINT id)
{
    switch (id) {
    case alpha_command:
        ++alpha_count;
        InvalidateRect(window, nullptr, TRUE);
        break;
    case quit_command:
        PostQuitMessage(0);
        break;
    case box_command:
        log_line("box answered " + std::to_string(MessageBoxA(window, "Probe box text", "Probe Box", MB_OKCANCEL)));
        break;
    case worker_command:
        worker_box_while_waiting();
        break;
    case dialog_command:
        open_dialog(window);
        break;
    case beep_command:
        Beep(1000, 200);
        break;
    case first_option:
    case second_option:
        choose_option(window, id);
        break;
    default:
        break;
    }
}

void paint(HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    TextOutA(dc, 80, 5, "Probe main window", 17);
    TextOutA(dc, 80, 25, "Alpha chosen", 12);
    const std::string count = std::to_string(alpha_count);
    SetTextColor(dc, RGB(255, 0, 0));
    TextOutA(dc, 184, 25, count.c_str(), static_cast<int>(count.size()));
    EndPaint(window, &paint);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_COMMAND:
        log_line("main command " + std::to_string(LOWORD(wparam)));
        carry_out(window, LOWORD(wparam));
        return 0;
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

HWND create_main_window()
{
    resources_register_menu("ProbeMenu", {
        {"&Alpha", alpha_command, {}},
        {"&Greyed", greyed_command, {}},
        {"&Options", 0, {{"&First", first_option, {}}, {"&Second", second_option, {}}}},
        {"&Box", box_command, {}},
        {"&Worker", worker_command, {}},
        {"&Dialog", dialog_command, {}},
        {"Bee&p", beep_command, {}},
        {"&Quit", quit_command, {}},
    });
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszMenuName = "ProbeMenu";
    window_class.lpszClassName = "ProbeWClass";
    if (RegisterClassA(&window_class) == 0) {
        return nullptr;
    }
    HWND window = CreateWindowExA(0, "ProbeWClass", "Probe", 0x00CA0000, CW_USEDEFAULT, CW_USEDEFAULT,
                                  400, 140, nullptr, nullptr, nullptr, nullptr);
    if (window != nullptr) {
        EnableMenuItem(GetMenu(window), greyed_command, MF_BYCOMMAND | MF_GRAYED);
        choose_option(window, first_option);
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOG_FILE\n", argv[0]);
        return 2;
    }
    log_path = argv[1];
    if (argc > 2 && std::strcmp(argv[2], "--box-first") == 0) {
        const int answer = MessageBoxA(nullptr, "Already running.", "Probe Error", MB_OK | MB_ICONHAND);
        log_line("early box answered " + std::to_string(answer));
        return 0;
    }
    if (create_main_window() == nullptr) {
        log_line("window failed");
        return 1;
    }
    ui_set_signal_command(quit_command);
    log_line("ready");
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (probe_dialog != nullptr && IsDialogMessageA(probe_dialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    log_line("ended " + std::to_string(static_cast<int>(message.wParam)));
    return static_cast<int>(message.wParam);
}
