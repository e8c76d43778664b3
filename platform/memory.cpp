#include <cstdlib>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/win32.h"

// Blocks never move here, so a GMEM_MOVEABLE handle is the block's own
// address and locking it just hands that address back.

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes)
{
    if (fault_check(FaultOperation::GlobalAlloc)) {
        return nullptr;
    }
    // A zero-byte block is still a distinct, freeable block.
    SIZE_T size = dwBytes == 0 ? 1 : dwBytes;
    void* block = (uFlags & GMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        fail_with(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem)
{
    std::free(hMem);
    return nullptr;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem)
{
    if (hMem == nullptr) {
        fail_with(ERROR_INVALID_HANDLE);
    }
    return hMem;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem)
{
    if (hMem == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    // Zero with NO_ERROR is how Win32 says "no longer locked".
    SetLastError(NO_ERROR);
    return FALSE;
}
