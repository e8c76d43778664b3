#include "drives/inventory.h"

#include <cstdio>
#include <cstring>

#include "records/drive.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/win32.h"

namespace {

constexpr int short_name_length = 8;
constexpr WORD first_button_id = 400;

void read_machine_name()
{
    DWORD size = sizeof run_settings.machine_name;
    if (!GetComputerNameA(run_settings.machine_name, &size)) {
        std::strcpy(run_settings.machine_name, "Unknown");
    }
}

// The run directory names only the first characters of the machine name.
void take_short_name(char (&short_name)[short_name_length + 1])
{
    std::strncpy(short_name, run_settings.machine_name, short_name_length);
    short_name[short_name_length] = '\0';
}

bool set_paths(Drive* drive, char letter, const char* short_name)
{
    drive->root_path[0] = letter;
    drive->root_path[1] = ':';
    drive->root_path[2] = '\\';
    drive->root_path[3] = '\0';
    int length = std::snprintf(drive->dir_path, sizeof drive->dir_path, "%sdurandex\\%s", drive->root_path,
                               short_name);
    return length >= 0 && static_cast<size_t>(length) < sizeof drive->dir_path;
}

// Removable, remote and CD-ROM drives may hold no medium or answer slowly;
// their volume data is read when the operator picks them.
bool reads_volume_data_now(UINT drive_type)
{
    return drive_type != DRIVE_REMOVABLE && drive_type != DRIVE_REMOTE && drive_type != DRIVE_CDROM;
}

void add_drive(char letter, UINT drive_type, const char* short_name)
{
    Drive* drive = allocate_record<Drive>();
    if (drive == nullptr) {
        MessageBoxA(run_settings.main_window.load(), "Memory Alloc for Drive structure failed.", "Durandex",
                    MB_ICONINFORMATION);
        return;
    }
    // A drive whose run directory cannot be named could never be used.
    if (!set_paths(drive, letter, short_name)) {
        free_record(drive);
        return;
    }
    drive->drive_type = drive_type;
    drive->target_task_count.store(0);
    if (reads_volume_data_now(drive_type)) {
        read_volume_data(drive);
    }
    drive->next = run_settings.drive_list;
    run_settings.drive_list = drive;
}

void number_buttons()
{
    WORD button_id = first_button_id;
    for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        drive->button_id = button_id++;
    }
}

}  // namespace

void inventory_drives()
{
    read_machine_name();
    char short_name[short_name_length + 1];
    take_short_name(short_name);
    // Visiting Z down to A while pushing at the head leaves the list in
    // ascending letter order.
    for (char letter = 'Z'; letter >= 'A'; --letter) {
        char root_path[] = {letter, ':', '\\', '\0'};
        UINT drive_type = GetDriveTypeA(root_path);
        if (drive_type == DRIVE_UNKNOWN || drive_type == DRIVE_NO_ROOT_DIR) {
            continue;
        }
        add_drive(letter, drive_type, short_name);
    }
    number_buttons();
}
