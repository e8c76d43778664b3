#include "engine/line_account.h"

#include <cstdio>
#include <cstring>

#include "records/run_settings.h"
#include "platform/guard.h"
#include "report/task_log.h"

namespace {

// line_size is a byte, so no line is longer.
constexpr DWORD longest_line = 255;
// Room for the longest differing line: offsets, both prefixes and both dumps.
constexpr size_t line_entry_size = 64 + 2 * (longest_line + 8);
// Every write flushes the log to disk; a block holds many lines.
constexpr size_t block_size = 16384;
constexpr DWORD printable_first = 0x20;
constexpr DWORD printable_last = 0x7e;

// Text gathered for the task log and written when the block is full. It lives
// on the walking thread's stack and owns nothing, as a guarded pass requires.
struct LogBlock {
    Task* task;
    size_t length;
    char text[block_size];
};

void flush_block(LogBlock* block)
{
    if (block->length == 0) {
        return;
    }
    block->text[block->length] = '\0';
    write_task_log(block->task, FALSE, block->text);
    block->length = 0;
}

// Makes room for `length` more characters; the block keeps one for its end.
char* reserve(LogBlock* block, size_t length)
{
    if (block->length + length >= block_size) {
        flush_block(block);
    }
    return block->text + block->length;
}

void append_text(LogBlock* block, const char* text)
{
    size_t length = strlen(text);
    memcpy(reserve(block, length), text, length);
    block->length += length;
}

// The L bytes of a line; bytes beyond the end of the file count as zero.
void take_line(const BYTE* view, DWORD size, DWORD offset, DWORD line_size, BYTE* line)
{
    DWORD present = size - offset < line_size ? size - offset : line_size;
    check_view_read();
    memcpy(line, view + offset, present);
    memset(line + present, 0, line_size - present);
}

// A line as text: its last byte becomes a line feed, and each byte that is not
// printable, zero above all, shows as '.', so the whole line is seen.
void dump_line(LogBlock* block, const BYTE* line, DWORD line_size)
{
    char* out = reserve(block, line_size);
    for (DWORD index = 0; index + 1 < line_size; ++index) {
        BOOL printable = line[index] >= printable_first && line[index] <= printable_last;
        out[index] = printable ? static_cast<char>(line[index]) : '.';
    }
    out[line_size - 1] = '\n';
    block->length += line_size;
}

void dump_differing_line(LogBlock* block, DWORD offset, const BYTE* source_line,
                         const BYTE* target_line, DWORD line_size)
{
    reserve(block, line_entry_size);
    char text[64];
    snprintf(text, sizeof text, "  Between Hex Offsets: %x and %x\n", (unsigned int)offset,
             (unsigned int)(offset + line_size - 1));
    append_text(block, text);
    append_text(block, "SRC: ");
    dump_line(block, source_line, line_size);
    append_text(block, "TRG: ");
    dump_line(block, target_line, line_size);
}

void append_more_lines(LogBlock* block, DWORD more)
{
    char text[64];
    snprintf(text, sizeof text, "%lu more lines differ.\n", (unsigned long)more);
    append_text(block, text);
}

}  // namespace

AccountOutcome write_line_account(Task* task, const BYTE* source_view, const BYTE* target_view,
                                  DWORD size)
{
    DWORD line_size = run_settings.line_size.load();
    LogBlock block;
    block.task = task;
    block.length = 0;
    // Written at once, so a walk that faults still leaves the account's head.
    write_task_log(task, FALSE, "Line comparisons begin:\n");
    DWORD differing = 0;
    BOOL interrupted = FALSE;
    BYTE source_line[longest_line];
    BYTE target_line[longest_line];
    for (DWORD offset = 0; offset < size; offset += line_size) {
        if (task->state.load() == TaskState::Cleanup) {
            interrupted = TRUE;
            break;
        }
        take_line(source_view, size, offset, line_size, source_line);
        take_line(target_view, size, offset, line_size, target_line);
        if (memcmp(source_line, target_line, line_size) == 0) {
            continue;
        }
        if (++differing <= dumped_line_limit) {
            dump_differing_line(&block, offset, source_line, target_line, line_size);
        }
    }
    if (!interrupted && differing > dumped_line_limit) {
        append_more_lines(&block, differing - dumped_line_limit);
    }
    append_text(&block, "\nLine comparisons end.\n");
    flush_block(&block);
    if (interrupted) {
        return AccountOutcome::Interrupted;
    }
    return differing != 0 ? AccountOutcome::Differs : AccountOutcome::Equal;
}
