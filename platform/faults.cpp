#include "platform/faults.h"

#include <map>
#include <mutex>
#include <string>

namespace {

struct ArmedFailure {
    DWORD remaining;
    DWORD code;
};

struct CopyCorruption {
    bool pending;
    DWORD offset;
    BYTE mask;
};

std::mutex faults_mutex;

// Held by pointer so that calls from threads still running at process exit
// never meet a destroyed table.
std::map<std::string, ArmedFailure>& armed_operations()
{
    static auto* table = new std::map<std::string, ArmedFailure>();
    return *table;
}

CopyCorruption copy_corruption{};

}  // namespace

void fault_arm(const char* operation, DWORD count, DWORD code)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    if (count == 0) {
        armed_operations().erase(operation);
        return;
    }
    armed_operations()[operation] = ArmedFailure{count, code};
}

void fault_corrupt_next_copy(DWORD offset, BYTE mask)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    copy_corruption = CopyCorruption{true, offset, mask};
}

void fault_reset()
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    armed_operations().clear();
    copy_corruption = CopyCorruption{};
}

BOOL fault_take(const char* operation, DWORD* code)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    auto& table = armed_operations();
    if (table.empty()) {
        return FALSE;
    }
    const auto found = table.find(operation);
    if (found == table.end()) {
        return FALSE;
    }
    *code = found->second.code;
    if (--found->second.remaining == 0) {
        table.erase(found);
    }
    return TRUE;
}

BOOL fault_check(const char* operation)
{
    DWORD code = 0;
    if (!fault_take(operation, &code)) {
        return FALSE;
    }
    SetLastError(code);
    return TRUE;
}

BOOL fault_take_copy_corruption(DWORD* offset, BYTE* mask)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    if (!copy_corruption.pending) {
        return FALSE;
    }
    *offset = copy_corruption.offset;
    *mask = copy_corruption.mask;
    copy_corruption = CopyCorruption{};
    return TRUE;
}
