#include "toolbox/output/png_folder_sink.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#  include <direct.h>  // _mkdir
#endif

#include "host/base/host_error.h"
#include "toolbox/output/png_writer.h"

namespace {

// Compression for frames: level 3 is several times faster than the default
// on these mostly dark pictures and costs only a few per cent in size.
const int kFrameCompression = 3;

[[noreturn]] void Unwritable(const std::string& folder, int err) {
    throw HostError(Fault::kBadInput, "cannot write frames to folder " + folder + ": " + strerror(err));
}

}  // namespace

PngFolderSink::PngFolderSink(const std::string& folder) : folder_(folder) {
    // Create the folder and its missing parents, outermost first.
    std::vector<std::string> missing;
    for (std::string dir = folder; !dir.empty() && dir != "/" && dir != ".";) {
        struct stat st;
        if (stat(dir.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) Unwritable(folder, ENOTDIR);
            break;
        }
        if (errno != ENOENT) Unwritable(folder, errno);
        missing.push_back(dir);
        const size_t slash = dir.find_last_of('/', dir.find_last_not_of('/'));
        dir = slash == std::string::npos ? "" : dir.substr(0, slash);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
#ifdef _WIN32
        const int made = _mkdir(it->c_str());
#else
        const int made = mkdir(it->c_str(), 0777);
#endif
        if (made != 0 && errno != EEXIST) {
            const int err = errno;
            Abort();
            Unwritable(folder, err);
        }
        createdFolders_.push_back(*it);
    }
    if (const int err = StagedFile::TryCreate(folder_ + "/.lumagrove-probe")) {
        Abort();
        Unwritable(folder, err);
    }
}

PngFolderSink::~PngFolderSink() { Abort(); }

std::string PngFolderSink::FrameName(int64_t index) {
    char name[48];
    snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
    return name;
}

void PngFolderSink::Consume(const Frame& frame) {
    const std::string path = folder_ + "/" + FrameName(frame.index);
    written_.push_back(path);
    WritePng(path, FrameImage(frame), kFrameCompression);
}

void PngFolderSink::Finish() {}

void PngFolderSink::Publish() { published_ = true; }

void PngFolderSink::Withdraw() noexcept { published_ = false; }

void PngFolderSink::Abort() noexcept {
    if (published_) return;
    for (const std::string& path : written_) unlink(path.c_str());
    written_.clear();
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) rmdir(it->c_str());
    createdFolders_.clear();
}
