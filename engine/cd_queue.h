// The queue of copied CD files between a task's CD copy worker, which appends
// at the tail, and its compare worker, which takes entries off at the head.
// There is no lock: copy_count tells the compare worker how far the queue is
// linked.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Links a filled entry at the tail, then raises copy_count with release
// order, so that a compare worker that has read the new count sees the entry.
void append_cd_entry(Task* task, CdFileEntry* entry);

// The CD copy worker's last act on the queue as it ends: the tail is dropped,
// so that the compare worker knows no entry will be linked any more.
void let_go_of_cd_queue(Task* task);

// Frees the entries nobody compared, once the CD copy worker has let go of
// the queue. A worker that Quit had to abandon may still link entries, so
// they are then left to the end of the process.
void free_left_cd_entries(Task* task);
