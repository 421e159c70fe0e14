#include "toolbox/base/staged_file.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

StagedFile::StagedFile(const std::string& path, const std::string& what, Fault fault)
    : path_(path), partial_(path + ".part") {
    // A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written as it
    // is: renaming a file over it would replace it.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        partial_ = path;
        direct_ = true;
    }
    stream_ = fopen(partial_.c_str(), "wb");
    if (!stream_) throw HostError(fault, "cannot write " + what + path + ": " + strerror(errno));
}

StagedFile::~StagedFile() { Abort(); }

void StagedFile::Fail(int err) const {
    throw HostError(Fault::kFailure, "cannot write " + path_ + ": " + strerror(err ? err : EIO));
}

void StagedFile::Flush() {
    if (stream_ && (fflush(stream_) != 0 || ferror(stream_))) Fail(errno);
}

void StagedFile::Close() {
    if (!stream_) return;
    FILE* stream = stream_;
    stream_ = nullptr;
    const bool flushed = fflush(stream) == 0 && ferror(stream) == 0;
    const int flushErrno = errno;
    const bool closed = fclose(stream) == 0;
    if (!flushed) Fail(flushErrno);
    if (!closed) Fail(errno);
}

void StagedFile::Publish() {
    Close();
    if (direct_) {
        published_ = true;
        return;
    }
#ifdef _WIN32
    remove(path_.c_str());  // rename() does not replace a file on Windows
#endif
    if (rename(partial_.c_str(), path_.c_str()) != 0) Fail(errno);
    published_ = true;
}

void StagedFile::Withdraw() noexcept {
    if (published_ && !direct_) remove(path_.c_str());
    published_ = false;
}

void StagedFile::Abort() noexcept {
    if (stream_) fclose(stream_);
    stream_ = nullptr;
    if (!published_ && !direct_) remove(partial_.c_str());
}

int StagedFile::TryCreate(const std::string& path) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return errno;
    fclose(file);
    remove(path.c_str());
    return 0;
}

void AbortAll(const std::vector<StagedOutput*>& outputs) noexcept {
    for (StagedOutput* output : outputs) output->Abort();
}

void FinishAndPublish(const std::vector<StagedOutput*>& outputs) {
    size_t published = 0;
    try {
        for (StagedOutput* output : outputs) output->Finish();
        for (; published < outputs.size(); ++published) outputs[published]->Publish();
    } catch (...) {
        for (size_t i = 0; i < published; ++i) outputs[i]->Withdraw();
        AbortAll(outputs);
        throw;
    }
}
