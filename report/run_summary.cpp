#include "report/run_summary.h"

#include <ctime>
#include <string>

#include "records/run_settings.h"
#include "report/event_log.h"
#include "report/log_text.h"

namespace {

// The open summary and whether every line so far reached it.
struct SummaryFile {
    HANDLE handle;
    BOOL whole;
};

BOOL summary_written = FALSE;

// Writes one line; nothing when the file could not be opened.
void write_line(SummaryFile& file, const std::string& line)
{
    if (file.handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file.handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        file.whole = FALSE;
    }
}

HANDLE open_summary()
{
    SetFileAttributesA(summary_path, FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(summary_path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::string message =
            format_text("Error opening Log File %s.\nErr# %d", summary_path, (int)GetLastError());
        MessageBoxA(run_settings.main_window.load(), message.c_str(), "Durandex Log Error",
                    MB_ICONEXCLAMATION | MB_OK);
        return file;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    return file;
}

// Leftover seconds are dropped.
std::string running_time_line()
{
    DWORD seconds = elapsed_run_seconds(time(nullptr));
    DWORD days = seconds / 86400;
    DWORD hours = (seconds % 86400) / 3600;
    DWORD minutes = (seconds % 3600) / 60;
    return format_text("Total Running Time = %d Days, %2.2d Hrs, %2.2d Mins\n", (int)days, (int)hours,
                       (int)minutes);
}

void write_heading(SummaryFile& file, DWORD total_errors)
{
    write_line(file, "\nDURANDEX LOG\n");
    write_line(file, format_text("Machine Name: %s\n", run_settings.machine_name));
    write_line(file, format_text("Windows NT Version: %d\n", (int)HIWORD(GetVersion())));
    write_line(file, format_text("Durandex Version: %s\n", durandex_version));
    write_line(file, "Start: " + date_time_text(run_settings.run_start_local_time) + "\n");
    SYSTEMTIME now;
    GetLocalTime(&now);
    write_line(file, "  End: " + date_time_text(now) + "\n");
    write_line(file, running_time_line());
    write_line(file, format_text("Total Errors = %d\n", (int)total_errors));
}

// Drives of 2 GiB and more are written in full: the size is a 64-bit product.
void write_drive_lines(SummaryFile& file)
{
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        write_line(file, format_text("Drive %.2s is\t%s,\t%llu total bytes,\t%s\n", drive->root_path,
                                     drive->fs_name, (unsigned long long)total_bytes(drive),
                                     drive->volume_name));
    }
}

void write_task_lines(SummaryFile& file)
{
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        std::string line = format_text(
            "TASK: %.2s to %.2s [%d], Copy:%d, Comp:%d, Err:%d, Excp:%d\n", task->source_drive->root_path,
            task->target_drive->root_path, (int)task->file_count.load(), (int)task->copy_count.load(),
            (int)task->compare_count.load(), (int)task->error_count.load(),
            (int)task->exception_count.load());
        write_line(file, line);
        if (task->error_count.load() != 0) {
            report_event("durandex", line.c_str());
            write_line(file, format_text("  Read %s for details on errors.\n", task->log_path));
        }
    }
}

}  // namespace

BOOL write_run_summary(DWORD total_errors)
{
    SummaryFile file{open_summary(), TRUE};
    write_heading(file, total_errors);
    write_drive_lines(file);
    write_task_lines(file);
    summary_written = FALSE;
    if (file.handle != INVALID_HANDLE_VALUE) {
        summary_written = FlushFileBuffers(file.handle) && file.whole;
        CloseHandle(file.handle);
    }
    SetFileAttributesA(summary_path, FILE_ATTRIBUTE_READONLY);
    return summary_written;
}

BOOL run_summary_written()
{
    return summary_written;
}
