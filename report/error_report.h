// The one report of a failed platform call made on behalf of a task.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

struct ErrorExplanation {
    DWORD code;
    const char* explanation;
    BOOL to_event_log;  // drive-level failures also go to the event log
};

inline constexpr ErrorExplanation error_explanations[] = {
    {2, "   File not found.\n", FALSE},
    {3, "   Path not found.\n", FALSE},
    {5, "   Access denied.\n", FALSE},
    {6, "   Invalid handle used.\n", FALSE},
    {8, "   Not enough memory.\n", FALSE},
    {21, "   Drive not ready.\n", TRUE},
    {23, "   Data Error - Cyclic Redundancy Check <CRC>.\n", TRUE},
    {24, "   Bad command length.\n", FALSE},
    {26, "   The specified disk cannot be accessed.\n", TRUE},
    {32, "   File sharing violation.\n", FALSE},
    {87, "   Invalid parameter.\n", FALSE},
    {112, "   The disk is full.\n", FALSE},
    {123, "   Invalid name.\n", FALSE},
    {183, "   File already exists.\n", FALSE},
    {234, "   More data.\n", FALSE},
    {1005, "   Volume contains unrecognized file system.\n", TRUE},
    {1006, "   Volume altered - opened file is now invalid.\n", FALSE},
    {1112, "   No Media in Drive.\n", FALSE},
    {1392, "   The file or directory is damaged and unreadable.\n", FALSE},
    {1816, "   Not enough quota is available to process this command.\n", FALSE},
};

// The explanation of every code the table does not list.
inline constexpr const char* unlisted_error_explanation = "   See Win32 API Error Codes.\n";

// Counts the error in the task and, unless the thread's last error is 0,
// logs "ERROR <code> in <action_text>" with the code's explanation. A fatal
// report also moves the task to Cleanup and tells the operator in a box
// before the log line is written. Call it right after the failed call: it
// reads the thread's last error.
void report_error(Task* task, BOOL fatal, const char* action_text);
