#include "host/base/win32_error.h"

#include <string.h>
#include <windows.h>

std::string Win32ErrorMessage(unsigned long code) {
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    std::string message(text, n);
    for (char& c : message)
        if (c == '\r' || c == '\n') c = ' ';
    while (!message.empty() && strchr(" .", message.back())) message.pop_back();
    if (message.empty()) message = "error " + std::to_string(code);
    return message;
}
