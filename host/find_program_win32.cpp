// FindProgram (declared in host/child_process.h) on Windows, where the
// preview host starts no child process but its options still ask for one.
#include <windows.h>

#include <string>

#include "host/child_process.h"

std::string FindProgram(const std::string& program) {
    char path[MAX_PATH];
    const DWORD n = SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, path, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}
