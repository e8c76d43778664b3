#include "platform/atomic_file.h"

namespace {

std::string system_error_text(const char* what, DWORD code)
{
    return std::string(what) + " (error " + std::to_string(code) + ")";
}

BOOL write_and_flush(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size() && FlushFileBuffers(file);
}

}  // namespace

BOOL replace_file_atomically(const std::string& path, const std::string& text, std::string* error)
{
    const std::string temporary = path + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = system_error_text("cannot create the temporary file", GetLastError());
        return FALSE;
    }
    const BOOL written = write_and_flush(file, text);
    const DWORD write_error = GetLastError();
    CloseHandle(file);
    if (!written) {
        DeleteFileA(temporary.c_str());
        *error = system_error_text("cannot write the temporary file", write_error);
        return FALSE;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD move_error = GetLastError();
        DeleteFileA(temporary.c_str());
        *error = system_error_text("cannot replace the file", move_error);
        return FALSE;
    }
    return TRUE;
}
