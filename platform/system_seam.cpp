#include "platform/system_seam.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex name_mutex;
bool name_fixed = false;
std::string& fixed_name()
{
    static auto* name = new std::string();
    return *name;
}

std::atomic<DWORD> fixed_process_id{0};

}  // namespace

void system_fix_computer_name(const char* name)
{
    std::lock_guard<std::mutex> lock(name_mutex);
    name_fixed = name != nullptr;
    fixed_name() = name != nullptr ? name : "";
}

void system_fix_process_id(DWORD process_id)
{
    fixed_process_id.store(process_id);
}

BOOL system_fixed_computer_name(std::string* name)
{
    std::lock_guard<std::mutex> lock(name_mutex);
    if (!name_fixed) {
        return FALSE;
    }
    *name = fixed_name();
    return TRUE;
}

DWORD system_fixed_process_id()
{
    return fixed_process_id.load();
}
