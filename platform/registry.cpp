// The registry as a directory tree. Each predefined root is a directory under
// /var/lib/durandex/registry (DURANDEX_REGISTRY moves it), named after the
// root (HKEY_LOCAL_MACHINE, ...). A key is a directory, its subkeys are
// subdirectories, and a value is a regular file in the key's directory named
// after the value ("(Default)" for the unnamed one) holding a text line
// "type=N\n" followed by the value's bytes. Names match case-insensitively,
// as on Windows.
//
// The calls return their LSTATUS and leave the thread's last error alone, as
// Windows does: a caller may read the code of an earlier failure after them.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/win32.h"

namespace {

constexpr const char* default_registry_root = "/var/lib/durandex/registry";
constexpr const char* default_value_file = "(Default)";

struct RegistryKey {
    std::string directory;
    REGSAM access;
};

std::mutex open_keys_mutex;
std::unordered_set<RegistryKey*>& open_keys()
{
    static auto* keys = new std::unordered_set<RegistryKey*>();
    return *keys;
}

const char* predefined_root_name(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) {
        return "HKEY_LOCAL_MACHINE";
    }
    if (key == HKEY_CURRENT_USER) {
        return "HKEY_CURRENT_USER";
    }
    if (key == HKEY_CLASSES_ROOT) {
        return "HKEY_CLASSES_ROOT";
    }
    return nullptr;
}

std::string registry_root()
{
    const std::string& setting = setting_text(Setting::Registry);
    return !setting.empty() ? setting : default_registry_root;
}

// The directory and rights behind a handle; FALSE for a handle that is
// neither predefined nor open.
BOOL resolve_handle(HKEY key, std::string* directory, REGSAM* access)
{
    if (const char* root_name = predefined_root_name(key)) {
        *directory = registry_root() + "/" + root_name;
        *access = KEY_ALL_ACCESS;
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(open_keys_mutex);
    auto* opened = reinterpret_cast<RegistryKey*>(key);
    if (open_keys().count(opened) == 0) {
        return FALSE;
    }
    *directory = opened->directory;
    *access = opened->access;
    return TRUE;
}

HKEY register_open_key(const std::string& directory, REGSAM access)
{
    auto* opened = new RegistryKey{directory, access};
    std::lock_guard<std::mutex> lock(open_keys_mutex);
    open_keys().insert(opened);
    return reinterpret_cast<HKEY>(opened);
}

// Lack of rights and a read-only store both look like denied access to the
// caller, as a protected key does on Windows.
LSTATUS status_from_errno(int error_number)
{
    switch (error_number) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    default:
        return static_cast<LSTATUS>(errno_to_win32(error_number));
    }
}

// A name becomes one directory entry: it may not be empty, climb, or hold a
// slash.
BOOL valid_entry_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Every backslash-separated part must name an entry: a leading, doubled or
// trailing backslash names no key.
BOOL split_subkey(LPCSTR sub_key, std::vector<std::string>* parts)
{
    if (sub_key == nullptr || *sub_key == '\0') {
        return TRUE;
    }
    std::string text = sub_key;
    size_t begin = 0;
    for (;;) {
        size_t separator = text.find('\\', begin);
        std::string part = text.substr(begin, separator == std::string::npos ? std::string::npos : separator - begin);
        if (!valid_entry_name(part)) {
            return FALSE;
        }
        parts->push_back(part);
        if (separator == std::string::npos) {
            return TRUE;
        }
        begin = separator + 1;
    }
}

// The entry of `directory` that matches `name` without regard to case: the
// exact name when it exists, else the first match found, else `name` itself.
std::string matching_entry(const std::string& directory, const std::string& name)
{
    struct stat exact {};
    if (lstat((directory + "/" + name).c_str(), &exact) == 0) {
        return name;
    }
    std::string found = name;
    if (DIR* listing = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            if (strcasecmp(entry->d_name, name.c_str()) == 0) {
                found = entry->d_name;
                break;
            }
        }
        closedir(listing);
    }
    return found;
}

BOOL is_directory(const std::string& path, int* error_number)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        *error_number = errno;
        return FALSE;
    }
    if (!S_ISDIR(status.st_mode)) {
        *error_number = ENOTDIR;
        return FALSE;
    }
    return TRUE;
}

LSTATUS make_directory(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        int error_number = 0;
        return is_directory(path, &error_number) ? ERROR_SUCCESS : status_from_errno(error_number);
    }
    return status_from_errno(errno);
}

// Creates the directories of a registry root path that are missing.
LSTATUS make_directory_path(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        LSTATUS status = make_directory(path.substr(0, slash));
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    return make_directory(path);
}

LSTATUS walk_to_key(HKEY parent, LPCSTR sub_key, BOOL create, std::string* directory)
{
    REGSAM parent_access = 0;
    if (!resolve_handle(parent, directory, &parent_access)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> parts;
    if (!split_subkey(sub_key, &parts)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (create) {
        LSTATUS status = make_directory_path(*directory);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    for (const std::string& part : parts) {
        *directory += "/" + matching_entry(*directory, part);
        if (create) {
            LSTATUS status = make_directory(*directory);
            if (status != ERROR_SUCCESS) {
                return status;
            }
        }
    }
    int error_number = 0;
    return is_directory(*directory, &error_number) ? ERROR_SUCCESS : status_from_errno(error_number);
}

BOOL wants_write(REGSAM access)
{
    return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
}

LSTATUS value_path(HKEY key, LPCSTR value_name, REGSAM needed, std::string* path)
{
    std::string directory;
    REGSAM access = 0;
    if (!resolve_handle(key, &directory, &access)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    std::string name = value_name != nullptr && *value_name != '\0' ? value_name : default_value_file;
    if (!valid_entry_name(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    *path = directory + "/" + matching_entry(directory, name);
    return ERROR_SUCCESS;
}

LSTATUS write_all(int descriptor, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(descriptor, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return status_from_errno(errno);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return ERROR_SUCCESS;
}

// Written beside the value and renamed over it, so that a reader sees the old
// value or the new one, never half of either.
LSTATUS store_value_file(const std::string& path, DWORD type, const BYTE* data, DWORD size)
{
    std::string scratch = path.substr(0, path.rfind('/') + 1) + ".value-XXXXXX";
    int descriptor = mkstemp(scratch.data());
    if (descriptor < 0) {
        return status_from_errno(errno);
    }
    std::string header = "type=" + std::to_string(type) + "\n";
    LSTATUS status = write_all(descriptor, header.data(), header.size());
    if (status == ERROR_SUCCESS) {
        status = write_all(descriptor, reinterpret_cast<const char*>(data), size);
    }
    if (status == ERROR_SUCCESS && fchmod(descriptor, 0644) != 0) {
        status = status_from_errno(errno);
    }
    close(descriptor);
    if (status == ERROR_SUCCESS && rename(scratch.c_str(), path.c_str()) != 0) {
        status = status_from_errno(errno);
    }
    if (status != ERROR_SUCCESS) {
        unlink(scratch.c_str());
    }
    return status;
}

LSTATUS load_value_file(const std::string& path, DWORD* type, std::string* bytes)
{
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return status_from_errno(errno);
    }
    std::string content;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(descriptor, chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int error_number = errno;
            close(descriptor);
            return status_from_errno(error_number);
        }
        content.append(chunk, static_cast<size_t>(got));
    }
    close(descriptor);
    size_t line_end = content.find('\n');
    if (content.compare(0, 5, "type=") != 0 || line_end == std::string::npos) {
        return ERROR_FILE_CORRUPT;
    }
    *type = static_cast<DWORD>(std::strtoul(content.c_str() + 5, nullptr, 10));
    *bytes = content.substr(line_end + 1);
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult)
{
    (void)ulOptions;
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string directory;
    LSTATUS status = walk_to_key(hKey, lpSubKey, FALSE, &directory);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Rights are checked when the key is opened, as Windows checks them.
    if (wants_write(samDesired) && access(directory.c_str(), W_OK) != 0) {
        return status_from_errno(errno);
    }
    if (access(directory.c_str(), R_OK | X_OK) != 0) {
        return status_from_errno(errno);
    }
    *phkResult = register_open_key(directory, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string directory;
    LSTATUS status = walk_to_key(hKey, lpSubKey, TRUE, &directory);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = register_open_key(directory, KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData)
{
    (void)Reserved;
    if (lpData == nullptr && cbData != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string path;
    LSTATUS status = value_path(hKey, lpValueName, KEY_SET_VALUE, &path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return store_value_file(path, dwType, lpData, cbData);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData)
{
    (void)lpReserved;
    if (lpData != nullptr && lpcbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string path;
    LSTATUS status = value_path(hKey, lpValueName, KEY_QUERY_VALUE, &path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    DWORD type = REG_NONE;
    std::string bytes;
    status = load_value_file(path, &type, &bytes);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpType != nullptr) {
        *lpType = type;
    }
    if (lpcbData == nullptr) {
        return ERROR_SUCCESS;
    }
    DWORD room = *lpcbData;
    *lpcbData = static_cast<DWORD>(bytes.size());
    if (lpData == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < bytes.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (predefined_root_name(hKey) != nullptr) {
        return ERROR_SUCCESS;
    }
    auto* opened = reinterpret_cast<RegistryKey*>(hKey);
    {
        std::lock_guard<std::mutex> lock(open_keys_mutex);
        if (open_keys().erase(opened) == 0) {
            return ERROR_INVALID_HANDLE;
        }
    }
    delete opened;
    return ERROR_SUCCESS;
}
