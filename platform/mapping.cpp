// Read-only file mappings. A mapping holds its own descriptor of the file and
// a view is an mmap of its own, so a view stays readable after the mapping
// and the file handle are closed, as on Windows.
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file_object.h"

namespace {

// Windows places views at multiples of its allocation granularity.
constexpr ULONGLONG allocation_granularity = 64 * 1024;

struct MappingObject : KernelObject {
    int descriptor;
    ULONGLONG size;
    DWORD access_pattern;
};

std::mutex views_mutex;

std::map<const void*, size_t>& live_views()
{
    static auto* views = new std::map<const void*, size_t>();
    return *views;
}

void destroy_mapping(KernelObject* object)
{
    auto* mapping = static_cast<MappingObject*>(object);
    close(mapping->descriptor);
    delete mapping;
}

HANDLE fail_handle(DWORD code)
{
    SetLastError(code);
    return nullptr;
}

LPVOID fail_view(DWORD code)
{
    SetLastError(code);
    return nullptr;
}

ULONGLONG combine(DWORD high, DWORD low)
{
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

void advise_view(void* view, size_t length, DWORD access_pattern)
{
    // A file opened for random access is read a page at a time, as asked.
    if (access_pattern & FILE_FLAG_RANDOM_ACCESS) {
        madvise(view, length, MADV_RANDOM);
        return;
    }
    // Otherwise a view is read front to back: read ahead far and let the
    // pages behind go early. Filesystems with large folios then read it in
    // blocks of up to 2 MiB: far fewer faults, page-cache insertions and
    // later drops per byte compared, which were most of a comparison's CPU
    // time. The bytes still come from the drive. Without huge page support
    // the second hint is a no-op.
    madvise(view, length, MADV_SEQUENTIAL);
    madvise(view, length, MADV_HUGEPAGE);
}

}  // namespace

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName)
{
    if (fault_check(FaultOperation::CreateFileMappingA)) {
        return nullptr;
    }
    FileObject* file = file_from_handle(hFile);
    if (file == nullptr) {
        return nullptr;
    }
    // Named (shared between processes) and writable mappings are not part
    // of this layer.
    if (lpName != nullptr) {
        return fail_handle(ERROR_NOT_SUPPORTED);
    }
    if (flProtect != PAGE_READONLY) {
        return fail_handle(ERROR_INVALID_PARAMETER);
    }
    if (!file->readable) {
        return fail_handle(ERROR_ACCESS_DENIED);
    }
    struct stat status {};
    if (fstat(file->descriptor, &status) != 0) {
        fail_with_errno(errno);
        return nullptr;
    }
    const auto file_size = static_cast<ULONGLONG>(status.st_size);
    const ULONGLONG requested = combine(dwMaximumSizeHigh, dwMaximumSizeLow);
    if (file_size == 0 && requested == 0) {
        return fail_handle(ERROR_FILE_INVALID);
    }
    // A read-only mapping cannot grow its file.
    if (requested > file_size) {
        return fail_handle(ERROR_NOT_ENOUGH_MEMORY);
    }
    const int descriptor = fcntl(file->descriptor, F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0) {
        fail_with_errno(errno);
        return nullptr;
    }
    auto* mapping = new MappingObject();
    mapping->kind = HandleKind::Mapping;
    mapping->destroy = destroy_mapping;
    mapping->descriptor = descriptor;
    mapping->size = requested == 0 ? file_size : requested;
    mapping->access_pattern = file->access_pattern;
    return handle_register(mapping);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap)
{
    if (fault_check(FaultOperation::MapViewOfFile)) {
        return nullptr;
    }
    auto* mapping = handle_object<MappingObject>(hFileMappingObject, HandleKind::Mapping);
    if (mapping == nullptr) {
        return nullptr;
    }
    if (dwDesiredAccess & FILE_MAP_WRITE) {
        return fail_view(ERROR_ACCESS_DENIED);
    }
    const ULONGLONG offset = combine(dwFileOffsetHigh, dwFileOffsetLow);
    if (offset % allocation_granularity != 0) {
        return fail_view(ERROR_MAPPED_ALIGNMENT);
    }
    if (offset >= mapping->size || dwNumberOfBytesToMap > mapping->size - offset) {
        return fail_view(ERROR_INVALID_PARAMETER);
    }
    const size_t length = dwNumberOfBytesToMap == 0 ? mapping->size - offset : dwNumberOfBytesToMap;
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, mapping->descriptor, static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
        fail_with_errno(errno);
        return nullptr;
    }
    advise_view(view, length, mapping->access_pattern);
    std::lock_guard<std::mutex> lock(views_mutex);
    live_views()[view] = length;
    return view;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    if (fault_check(FaultOperation::UnmapViewOfFile)) {
        return FALSE;
    }
    size_t length = 0;
    {
        std::lock_guard<std::mutex> lock(views_mutex);
        auto& views = live_views();
        const auto found = views.find(lpBaseAddress);
        if (found == views.end()) {
            return fail_with(ERROR_INVALID_ADDRESS);
        }
        length = found->second;
        views.erase(found);
    }
    if (munmap(const_cast<void*>(lpBaseAddress), length) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}
