#include <pthread.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/handles.h"
#include "platform/win32.h"

namespace {

// What the thread and its handle share; it lives until both are gone, so a
// handle closed early or a thread that outlives its handle is harmless.
struct ThreadControl {
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    DWORD id = 0;
    std::mutex mutex;
    bool ended = false;  // returned, or abandoned by TerminateThread
    DWORD exit_code = STILL_ACTIVE;
};

struct ThreadObject : KernelObject {
    std::shared_ptr<ThreadControl> control;
};

// Ids count up from 1 and are never reused within the process.
std::atomic<DWORD> last_thread_id{0};
thread_local DWORD current_thread_id = 0;

DWORD next_thread_id()
{
    DWORD id = 0;
    while (id == 0) {
        id = last_thread_id.fetch_add(1) + 1;
    }
    return id;
}

void destroy_thread_object(KernelObject* object)
{
    delete static_cast<ThreadObject*>(object);
}

// Records the exit code unless TerminateThread has already fixed one.
void record_thread_end(ThreadControl* control, DWORD exit_code)
{
    std::lock_guard<std::mutex> lock(control->mutex);
    if (!control->ended) {
        control->ended = true;
        control->exit_code = exit_code;
    }
}

void* run_thread(void* argument)
{
    auto* owned = static_cast<std::shared_ptr<ThreadControl>*>(argument);
    std::shared_ptr<ThreadControl> keep_alive = std::move(*owned);
    delete owned;
    current_thread_id = keep_alive->id;
    DWORD exit_code = keep_alive->start(keep_alive->parameter);
    record_thread_end(keep_alive.get(), exit_code);
    return nullptr;
}

// Win32 takes dwStackSize as the least the thread gets, never less than the
// process default; the same holds here.
BOOL prepare_attributes(pthread_attr_t* attributes, SIZE_T stack_size)
{
    int error = pthread_attr_init(attributes);
    if (error != 0) {
        return fail_with_errno(error);
    }
    error = pthread_attr_setdetachstate(attributes, PTHREAD_CREATE_DETACHED);
    size_t default_size = 0;
    if (error == 0) {
        error = pthread_attr_getstacksize(attributes, &default_size);
    }
    if (error == 0 && stack_size > default_size) {
        error = pthread_attr_setstacksize(attributes, stack_size);
    }
    if (error != 0) {
        pthread_attr_destroy(attributes);
        return fail_with_errno(error);
    }
    return TRUE;
}

BOOL start_posix_thread(const std::shared_ptr<ThreadControl>& control, SIZE_T stack_size)
{
    pthread_attr_t attributes;
    if (!prepare_attributes(&attributes, stack_size)) {
        return FALSE;
    }
    auto* handed_over = new std::shared_ptr<ThreadControl>(control);
    pthread_t thread;
    int error = pthread_create(&thread, &attributes, run_thread, handed_over);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete handed_over;
        return fail_with_errno(error);
    }
    return TRUE;
}

}  // namespace

// CREATE_SUSPENDED is refused with code 87: the layer has no ResumeThread,
// so a suspended thread could never run.
HANDLE WINAPI CreateThread([[maybe_unused]] LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    if (fault_check(FaultOperation::CreateThread)) {
        return nullptr;
    }
    if (lpStartAddress == nullptr || (dwCreationFlags & CREATE_SUSPENDED) != 0) {
        fail_with(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto control = std::make_shared<ThreadControl>();
    control->start = lpStartAddress;
    control->parameter = lpParameter;
    control->id = next_thread_id();

    auto* object = new ThreadObject();
    object->kind = HandleKind::Thread;
    object->destroy = destroy_thread_object;
    object->control = control;
    HANDLE handle = handle_register(object);
    if (!start_posix_thread(control, dwStackSize)) {
        DWORD error = GetLastError();
        handle_close(handle, HandleKind::Thread);
        fail_with(error);
        return nullptr;
    }
    if (lpThreadId != nullptr) {
        *lpThreadId = control->id;
    }
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    auto* object = handle_object<ThreadObject>(hThread, HandleKind::Thread);
    if (object == nullptr) {
        return FALSE;
    }
    if (lpExitCode == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> lock(object->control->mutex);
    *lpExitCode = object->control->exit_code;
    return TRUE;
}

// A POSIX thread cannot be stopped safely from outside: it may hold locks or
// be inside the C library. The thread is abandoned instead: its handle reports
// dwExitCode from now on, while the thread itself runs on until it returns or
// the process ends. Whoever terminates a thread must therefore keep every
// record it may still touch alive until the process ends.
BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode)
{
    auto* object = handle_object<ThreadObject>(hThread, HandleKind::Thread);
    if (object == nullptr) {
        return FALSE;
    }
    record_thread_end(object->control.get(), dwExitCode);
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void)
{
    // Threads the layer did not start get their id on first ask.
    if (current_thread_id == 0) {
        current_thread_id = next_thread_id();
    }
    return current_thread_id;
}
