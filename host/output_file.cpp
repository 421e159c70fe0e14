#include "host/output_file.h"

#include <errno.h>
#include <stdio.h>

int MoveIntoPlace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    remove(to.c_str());
#endif
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
