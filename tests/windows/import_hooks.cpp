#include "import_hooks.h"

#include <cstring>

BOOL hook_import(const char* function, void* replacement, void** original)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    BOOL found = FALSE;
    for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && dll->Name != 0; ++dll) {
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0) {
                continue;
            }
            DWORD protection = 0;
            if (!VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, PAGE_READWRITE, &protection)) {
                return FALSE;
            }
            void* former = reinterpret_cast<void*>(entries->u1.Function);
            // A second hook of the same function keeps the system's one.
            if (former != replacement) {
                *original = former;
            }
            entries->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, protection, &protection);
            found = TRUE;
        }
    }
    return found;
}
