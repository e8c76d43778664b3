#include "drives/drives_dialog.h"

#include "drives/automatic_selection.h"
#include "drives/dialog_layout.h"
#include "drives/drive_clicks.h"
#include "drives/drive_table.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/resources.h"
#include "platform/win32.h"

HWND open_drives_dialog(HINSTANCE instance, HWND owner, int drive_count, BOOL* refused)
{
    *refused = FALSE;
    window_settings.dialog_template = build_drives_dialog_template(run_settings.drive_list, drive_count);
    if (window_settings.dialog_template == nullptr) {
        return nullptr;
    }
    window_settings.dialog_width = drives_dialog_width;
    resources_register_row_layout(WindowKind::Dialog, drives_dialog_rows());
    const auto* layout = static_cast<LPCDLGTEMPLATEA>(GlobalLock(window_settings.dialog_template));
    // WM_INITDIALOG writes the automatic selection's verdict through the
    // creation parameter, before the creation returns.
    HWND dialog = CreateDialogIndirectParamA(instance, layout, owner, drives_dialog_procedure,
                                             reinterpret_cast<LPARAM>(refused));
    GlobalUnlock(window_settings.dialog_template);
    if (dialog == nullptr) {
        GlobalFree(window_settings.dialog_template);
        window_settings.dialog_template = nullptr;
    } else if (*refused) {
        close_drives_dialog(dialog);
        dialog = nullptr;
    }
    return dialog;
}

void close_drives_dialog(HWND dialog)
{
    DestroyWindow(dialog);
    window_settings.drives_dialog = nullptr;
    GlobalFree(window_settings.dialog_template);
    window_settings.dialog_template = nullptr;
}

INT_PTR CALLBACK drives_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        *reinterpret_cast<BOOL*>(lparam) = !select_drives_automatically(dialog);
        return TRUE;
    case WM_PAINT:
        paint_drive_table(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDCANCEL:
        case drives_dialog_done_id:
            close_drives_dialog(dialog);
            break;
        case drives_dialog_unselect_id:
            unselect_last_click();
            break;
        default:
            click_drive(dialog, LOWORD(wparam));
            break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}
