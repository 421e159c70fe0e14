// PluginLibrary's platform half on Windows: LoadLibrary and GetProcAddress.
#include <string.h>
#include <windows.h>

#include <string>

#include "host/base/host_error.h"
#include "host/base/win32_error.h"
#include "host/loader/plugin_loader.h"

namespace {

std::wstring Widen(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
    return wide.c_str();
}

}  // namespace

void* PluginLibrary::LoadModule(const std::string& path) {
    // No "missing DLL" dialog box: a failure becomes the error below.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryW(Widen(path).c_str());
    const DWORD error = GetLastError();
    SetErrorMode(previousMode);
    if (!module)
        throw HostError(Fault::kBadInput, "cannot load plug-in " + path + ": " + Win32ErrorMessage(error),
                        FailedPart::kPlugin);
    return module;
}

// The entry point's address, copied rather than cast between function types.
QueryInterfaceFn PluginLibrary::FindEntry(void* handle) {
    FARPROC symbol = GetProcAddress(static_cast<HMODULE>(handle), "QueryInterface");
    QueryInterfaceFn entry = nullptr;
    static_assert(sizeof entry == sizeof symbol, "entry points differ in size");
    memcpy(&entry, &symbol, sizeof entry);
    return entry;
}

void PluginLibrary::UnloadModule(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

std::string DefaultPluginPath() {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return "lumagrove.dll";
    std::wstring path(exe, n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"lumagrove.dll";
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    return utf8.c_str();
}
