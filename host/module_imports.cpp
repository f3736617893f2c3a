// Replacing an entry of a loaded module's import address table.
#include "host/module_imports.h"

#if defined(_WIN32)

#include <cstring>

namespace {

using Address = decltype(IMAGE_THUNK_DATA{}.u1.Function);

void* put(IMAGE_THUNK_DATA* entry, void* replacement) {
    void* held = reinterpret_cast<void*>(entry->u1.Function);
    // The table may lie in a read-only section once the loader is done with it.
    DWORD protection = 0;
    if (!VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, PAGE_READWRITE,
                        &protection))
        return nullptr;
    entry->u1.Function = reinterpret_cast<Address>(replacement);
    VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, protection, &protection);
    return held;
}

}  // namespace

void* replace_module_import(HMODULE module, const char* dll, const char* name, WORD ordinal,
                            void* replacement) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name; ++library) {
        const char* library_name = reinterpret_cast<const char*>(base + library->Name);
        if (dll && _stricmp(library_name, dll) != 0) continue;
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        if (!library->OriginalFirstThunk) {
            // No list of what was asked for: the entry is the one holding the function's address.
            HMODULE exporter = GetModuleHandleA(library_name);
            FARPROC target = exporter
                                 ? GetProcAddress(exporter, name ? name : MAKEINTRESOURCEA(ordinal))
                                 : nullptr;
            for (; target && bound->u1.Function; ++bound) {
                if (bound->u1.Function == reinterpret_cast<Address>(target))
                    return put(bound, replacement);
            }
            continue;
        }
        // What the module asked for, kept beside the addresses the loader wrote.
        const auto* wanted =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        for (; wanted->u1.AddressOfData; ++wanted, ++bound) {
            bool match;
            if (IMAGE_SNAP_BY_ORDINAL(wanted->u1.Ordinal)) {
                match = !name && IMAGE_ORDINAL(wanted->u1.Ordinal) == ordinal;
            } else {
                const auto* by_name =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + wanted->u1.AddressOfData);
                match =
                    name && std::strcmp(reinterpret_cast<const char*>(by_name->Name), name) == 0;
            }
            if (match) return put(bound, replacement);
        }
    }
    return nullptr;
}

#endif  // _WIN32
