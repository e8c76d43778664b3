#include "drives/automatic_selection.h"

#include <cstdio>

#include "drives/drives_dialog.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/win32.h"

namespace {

// Without a drive to pair there is nothing to click and the run could never
// start: say so instead of waiting for ever.
BOOL give_up(const char* reason)
{
    std::fprintf(stderr, "durandex: %s\n", reason);
    return FALSE;
}

void post_click(HWND dialog, const Drive* drive)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(drive->button_id, BN_CLICKED), 0);
}

// Each fixed drive is the target of the one before it and the source of the
// next; the first closes the ring as the last one's target.
BOOL select_fixed_ring(HWND dialog)
{
    const Drive* first = nullptr;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        if (drive->drive_type != DRIVE_FIXED) {
            continue;
        }
        post_click(dialog, drive);
        if (first == nullptr) {
            first = drive;
        } else {
            post_click(dialog, drive);
        }
    }
    if (first == nullptr) {
        return give_up("/a needs a fixed drive to use as target; none was found.");
    }
    post_click(dialog, first);
    return TRUE;
}

BOOL select_cd_copy(HWND dialog)
{
    const Drive* target = nullptr;
    const Drive* cdrom = run_settings.drive_list;
    for (; cdrom != nullptr && cdrom->drive_type != DRIVE_CDROM; cdrom = cdrom->next) {
        if (target == nullptr && cdrom->drive_type == DRIVE_FIXED) {
            target = cdrom;
        }
    }
    if (cdrom == nullptr) {
        return give_up("/c needs a CD-ROM drive to copy from; none was found.");
    }
    if (target == nullptr) {
        return give_up("/c needs a fixed drive before the first CD-ROM drive to use as target; none was found.");
    }
    post_click(dialog, cdrom);
    post_click(dialog, target);
    return TRUE;
}

}  // namespace

BOOL select_drives_automatically(HWND dialog)
{
    if (run_settings.option_invalid != 0) {
        return FALSE;
    }
    const bool automatic = run_settings.option_a != 0 || run_settings.option_c != 0;
    if (!automatic || run_settings.idle.load() == 0) {
        return TRUE;
    }
    if (!(run_settings.option_c != 0 ? select_cd_copy(dialog) : select_fixed_ring(dialog))) {
        return FALSE;
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(drives_dialog_done_id, BN_CLICKED), 0);
    PostMessageA(run_settings.main_window.load(), WM_COMMAND, MAKEWPARAM(command_start, 0), 0);
    return TRUE;
}
