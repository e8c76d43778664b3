// Directory searches: FindFirstFileA takes a snapshot of the matching
// entries, FindNextFileA hands them out one by one.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/drive_paths.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file_object.h"

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr ULONGLONG filetime_of_unix_epoch = 116444736000000000ULL;

struct FindObject : KernelObject {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next;
};

void destroy_find(KernelObject* object)
{
    delete static_cast<FindObject*>(object);
}

HANDLE fail_handle(DWORD code)
{
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

bool same_letter(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Windows wildcards, without regard to case: '*' any run of characters,
// '?' any one character; "*.*" matches every name, dotted or not.
bool name_matches(const char* pattern, const char* name)
{
    if (std::strcmp(pattern, "*.*") == 0) {
        return true;
    }
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern != '\0' && (*pattern == '?' || same_letter(*pattern, *name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') {
        ++pattern;
    }
    return *pattern == '\0';
}

FILETIME filetime_of(const struct timespec& time)
{
    const ULONGLONG ticks = static_cast<ULONGLONG>(time.tv_sec) * 10000000ULL +
                            static_cast<ULONGLONG>(time.tv_nsec) / 100ULL + filetime_of_unix_epoch;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// FALSE when the entry has vanished since it was listed. A link is
// described as itself (a reparse point), never as what it points to.
bool describe_entry(int directory, const char* name, WIN32_FIND_DATAA* data)
{
    struct stat status {};
    if (fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    *data = WIN32_FIND_DATAA{};
    data->dwFileAttributes = attributes_of(status);
    data->ftCreationTime = filetime_of(status.st_mtim);
    data->ftLastAccessTime = filetime_of(status.st_atim);
    data->ftLastWriteTime = filetime_of(status.st_mtim);
    // A link has no size of its own, as on Windows.
    if (!S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode)) {
        const auto size = static_cast<ULONGLONG>(status.st_size);
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(size);
    }
    std::strncpy(data->cFileName, name, MAX_PATH - 1);
    return true;
}

// Splits "X:\dir\pattern" into the directory and the last component.
void split_search_path(const std::string& search_path, std::string* directory, std::string* pattern)
{
    const std::string::size_type last_separator = search_path.find_last_of("\\/");
    if (last_separator == std::string::npos || last_separator < 2) {
        *directory = search_path.substr(0, 2) + "\\";
        *pattern = search_path.substr(std::min<std::string::size_type>(2, search_path.size()));
        return;
    }
    *directory = search_path.substr(0, last_separator + 1);
    *pattern = search_path.substr(last_separator + 1);
}

// The matching entries, sorted by name; the drive's root has no "." and
// "..", as on Windows.
bool list_matches(const DrivePath& directory, const std::string& pattern, std::vector<WIN32_FIND_DATAA>* entries)
{
    const bool drive_root = directory.name == ".";
    const int descriptor = open_directory_of(directory);
    if (descriptor < 0) {
        return false;
    }
    DIR* stream = fdopendir(descriptor);
    if (stream == nullptr) {
        close(descriptor);
        fail_with(errno_to_win32(errno));
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(stream)) {
        const bool dot_entry = std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0;
        if (!(drive_root && dot_entry) && name_matches(pattern.c_str(), entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        WIN32_FIND_DATAA data;
        if (describe_entry(dirfd(stream), name.c_str(), &data)) {
            entries->push_back(data);
        }
    }
    closedir(stream);
    return true;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (fault_check(FaultOperation::FindFirstFileA)) {
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName == nullptr) {
        return fail_handle(ERROR_PATH_NOT_FOUND);
    }
    if (std::strlen(lpFileName) >= MAX_PATH) {
        return fail_handle(ERROR_FILENAME_EXCED_RANGE);
    }
    std::string directory;
    std::string pattern;
    split_search_path(lpFileName, &directory, &pattern);
    DrivePath native_directory;
    if (!open_drive_path(directory.c_str(), &native_directory)) {
        return INVALID_HANDLE_VALUE;
    }
    if (pattern.empty()) {
        return fail_handle(ERROR_FILE_NOT_FOUND);
    }
    auto* search = new FindObject();
    search->kind = HandleKind::Find;
    search->destroy = destroy_find;
    search->next = 1;
    if (!list_matches(native_directory, pattern, &search->entries)) {
        delete search;
        return INVALID_HANDLE_VALUE;
    }
    if (search->entries.empty()) {
        delete search;
        return fail_handle(ERROR_FILE_NOT_FOUND);
    }
    *lpFindFileData = search->entries.front();
    return handle_register(search);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (fault_check(FaultOperation::FindNextFileA)) {
        return FALSE;
    }
    auto* search = handle_object<FindObject>(hFindFile, HandleKind::Find);
    if (search == nullptr) {
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        return fail_with(ERROR_NO_MORE_FILES);
    }
    *lpFindFileData = search->entries[search->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    if (fault_check(FaultOperation::FindClose)) {
        return FALSE;
    }
    return handle_close(hFindFile, HandleKind::Find);
}
