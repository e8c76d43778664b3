#include <cstring>

#include "platform/errors.h"
#include "platform/win32.h"

// The ANSI code page here is Latin-1: every byte is the UTF-16 code unit of
// the same value, so the conversion never changes the length.

int WINAPI MultiByteToWideChar(UINT CodePage, [[maybe_unused]] DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar)
{
    if (CodePage != CP_ACP || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (cchWideChar > 0 && lpWideCharStr == nullptr)) {
        fail_with(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1 converts through the terminating NUL and counts it.
    int length = cbMultiByte == -1 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
    if (cchWideChar == 0) {
        return length;
    }
    if (cchWideChar < length) {
        fail_with(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int index = 0; index < length; ++index) {
        lpWideCharStr[index] = static_cast<WCHAR>(static_cast<unsigned char>(lpMultiByteStr[index]));
    }
    return length;
}

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2)
{
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    LPWSTR out = lpString1;
    while ((*out++ = *lpString2++) != 0) {
    }
    return lpString1;
}

int WINAPI lstrlenW(LPCWSTR lpString)
{
    if (lpString == nullptr) {
        return 0;
    }
    int length = 0;
    while (lpString[length] != 0) {
        ++length;
    }
    return length;
}
