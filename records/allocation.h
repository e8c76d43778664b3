// Records are allocated zero-filled from the global heap and freed at Quit.
#pragma once

#include <new>

#include "platform/win32.h"

template <typename Record>
Record* allocate_record()
{
    void* memory = GlobalAlloc(GPTR, sizeof(Record));
    if (memory == nullptr) {
        return nullptr;
    }
    return new (memory) Record();
}

template <typename Record>
void free_record(Record* record)
{
    if (record != nullptr) {
        record->~Record();
        GlobalFree(record);
    }
}
