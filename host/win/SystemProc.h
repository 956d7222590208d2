// A function of a system DLL that older Windows versions may lack, looked up
// by name at run time so the program still loads where it is missing.
#pragma once
#include <windows.h>

// The function, or null where the module (already loaded) does not export it.
template <typename Fn>
Fn SystemProc(const char* module, const char* name) {
    HMODULE loaded = GetModuleHandleA(module);
    FARPROC proc = loaded ? GetProcAddress(loaded, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}
