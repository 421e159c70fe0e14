#include "toolbox/base/scratch_folder.h"

#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "host/base/host_error.h"

const std::string& ScratchFolder::path() {
    if (path_.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/lumagrove-XXXXXX";
        if (!mkdtemp(&pattern[0]))
            throw HostError(Fault::kFailure, "cannot make a temporary folder in " +
                                                 pattern.substr(0, pattern.rfind('/')) + ": " + strerror(errno));
        path_ = pattern;
    }
    return path_;
}

ScratchFolder::~ScratchFolder() {
    if (path_.empty()) return;
    // Only plain files are ever put here.
    if (DIR* dir = opendir(path_.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") unlink((path_ + "/" + name).c_str());
        }
        closedir(dir);
    }
    rmdir(path_.c_str());
}
