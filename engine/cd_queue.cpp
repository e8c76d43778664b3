#include "engine/cd_queue.h"

void append_cd_entry(Task* task, CdFileEntry* entry)
{
    CdFileEntry* tail = task->cd_queue_tail.load();
    if (tail != nullptr) {
        tail->next = entry;
    } else {
        task->cd_queue_head.store(entry, std::memory_order_release);
    }
    task->cd_queue_tail.store(entry);
    task->copy_count.fetch_add(1, std::memory_order_release);
}

void let_go_of_cd_queue(Task* task)
{
    task->cd_queue_tail.store(nullptr);
}

void free_left_cd_entries(Task* task)
{
    if (task->cd_queue_tail.load() != nullptr) {
        return;
    }
    CdFileEntry* entry = task->cd_queue_head.exchange(nullptr, std::memory_order_acquire);
    while (entry != nullptr) {
        CdFileEntry* next = entry->next;
        GlobalFree(entry);
        entry = next;
    }
}
