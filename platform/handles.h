// Kernel objects behind HANDLE values: files, mappings, threads and searches.
// A handle is valid from handle_register until CloseHandle (or the kind's own
// close call) releases it; any other value is refused with code 6.
#pragma once

#include "platform/win32.h"

enum class HandleKind : DWORD { File, Mapping, Thread, Find, EventSource };

struct KernelObject {
    HandleKind kind;
    // Releases the object's resources and frees it.
    void (*destroy)(KernelObject* object);
};

HANDLE handle_register(KernelObject* object);

// The live object of that kind, or null with last error 6.
KernelObject* handle_lookup(HANDLE handle, HandleKind kind);

template <typename Object>
Object* handle_object(HANDLE handle, HandleKind kind)
{
    return static_cast<Object*>(handle_lookup(handle, kind));
}

// Unregisters and destroys a live object of the kind; FALSE with code 6
// otherwise.
BOOL handle_close(HANDLE handle, HandleKind kind);
