#include "shell/program.h"

#include <cstdio>

#include "drives/drives_dialog.h"
#include "records/exit_status.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/resources.h"
#include "platform/ui_seam.h"

namespace {

constexpr const char* window_class_name = "DurandexWClass";
constexpr const char* window_title = "Durandex";
constexpr DWORD main_window_style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

enum class InstanceCheck { Alone, AnotherRuns, Unknown };

// The lookup also claims the instance for this process, in one step. When
// the claim cannot be made at all, nothing could keep a second instance out:
// the run does not start.
InstanceCheck check_single_instance()
{
    SetLastError(ERROR_SUCCESS);
    if (FindWindowA(window_class_name, window_title) == nullptr) {
        // No such class registered anywhere (Windows says so) is no such
        // window either.
        const DWORD code = GetLastError();
        if (code == ERROR_SUCCESS || code == ERROR_CANNOT_FIND_WND_CLASS) {
            return InstanceCheck::Alone;
        }
        std::fprintf(stderr,
                     "durandex: the single-instance lock cannot be taken (error %lu); "
                     "see DURANDEX_INSTANCE in durandex(1).\n",
                     static_cast<unsigned long>(code));
        return InstanceCheck::Unknown;
    }
    MessageBoxA(nullptr, "An instance of Durandex is already running.", "Durandex Error", MB_OK | MB_ICONHAND);
    return InstanceCheck::AnotherRuns;
}

void load_bitmaps(HINSTANCE instance)
{
    window_settings.anim_bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(anim_bitmap_id));
    window_settings.drive_type_bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(drive_type_bitmap_id));
    window_settings.tiles_bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(tiles_bitmap_id));
}

void delete_bitmaps()
{
    for (HBITMAP* bitmap : {&window_settings.anim_bitmap, &window_settings.drive_type_bitmap,
                            &window_settings.tiles_bitmap}) {
        DeleteObject(*bitmap);
        *bitmap = nullptr;
    }
}

BOOL register_main_window_class(HINSTANCE instance)
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = main_window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, "PestleboxIcon");
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszMenuName = "DurandexMenu";
    window_class.lpszClassName = window_class_name;
    return RegisterClassA(&window_class) != 0;
}

HWND create_main_window(HINSTANCE instance)
{
    return CreateWindowExA(0, window_class_name, window_title, main_window_style, CW_USEDEFAULT, CW_USEDEFAULT,
                           window_settings.window_width, window_settings.window_height, nullptr, nullptr,
                           instance, nullptr);
}

// The Drives dialog's messages go to it; everything else is dispatched. A
// refused run ends the loop at once, without the WM_QUIT that would show the
// window's last view: it ends as a command line refused before any window.
int run_message_loop()
{
    MSG message{};
    while (!run_refused() && GetMessageA(&message, nullptr, 0, 0) > 0) {
        HWND dialog = window_settings.drives_dialog;
        if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageA(dialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return run_refused() ? exit_invalid_command_line : static_cast<int>(message.wParam);
}

}  // namespace

int run_program(HINSTANCE instance, const char* command_line, int show_mode)
{
    run_settings.command_line = command_line;
    const InstanceCheck others = check_single_instance();
    if (others != InstanceCheck::Alone) {
        return others == InstanceCheck::AnotherRuns ? 0 : exit_configuration_error;
    }
    register_program_resources();
    load_bitmaps(instance);
    int exit_code = 0;
    if (register_main_window_class(instance)) {
        window_settings.instance = instance;
        HWND window = create_main_window(instance);
        if (window != nullptr) {
            ui_set_signal_command(command_quit, exit_interrupted);
            ShowWindow(window, show_mode);
            UpdateWindow(window);
            exit_code = run_message_loop();
        }
    }
    delete_bitmaps();
    return exit_code;
}
