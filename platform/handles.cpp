#include "platform/handles.h"

#include <mutex>
#include <unordered_set>

#include "platform/errors.h"

namespace {

std::mutex handles_mutex;
std::unordered_set<KernelObject*>& live_objects()
{
    static auto* objects = new std::unordered_set<KernelObject*>();
    return *objects;
}

KernelObject* find_live(HANDLE handle, HandleKind kind)
{
    auto* object = static_cast<KernelObject*>(handle);
    auto& objects = live_objects();
    if (objects.find(object) == objects.end() || object->kind != kind) {
        return nullptr;
    }
    return object;
}

}  // namespace

HANDLE handle_register(KernelObject* object)
{
    std::lock_guard<std::mutex> lock(handles_mutex);
    live_objects().insert(object);
    return object;
}

KernelObject* handle_lookup(HANDLE handle, HandleKind kind)
{
    std::lock_guard<std::mutex> lock(handles_mutex);
    KernelObject* object = find_live(handle, kind);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return object;
}

BOOL handle_close(HANDLE handle, HandleKind kind)
{
    KernelObject* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(handles_mutex);
        object = find_live(handle, kind);
        if (object != nullptr) {
            live_objects().erase(object);
        }
    }
    if (object == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    object->destroy(object);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    KernelObject* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(handles_mutex);
        auto* candidate = static_cast<KernelObject*>(hObject);
        auto& objects = live_objects();
        if (objects.find(candidate) != objects.end() && candidate->kind != HandleKind::Find &&
            candidate->kind != HandleKind::EventSource) {
            object = candidate;
            objects.erase(object);
        }
    }
    if (object == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    object->destroy(object);
    return TRUE;
}
