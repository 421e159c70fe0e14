// win32_error.h - the text of a Windows error code, for HostError messages.
#ifndef LUMAGROVE_WIN32_ERROR_H
#define LUMAGROVE_WIN32_ERROR_H

#include <string>

// The system's message for an error code from GetLastError(), on one line with
// no trailing period; "error N" when the system has none.
std::string Win32ErrorMessage(unsigned long code);

#endif
