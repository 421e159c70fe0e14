// staged_file.h - the life of every file a host writes, and of the outputs
// made of them.
//
// A StagedFile is one file on its way to its final name:
//   StagedFile file(path, "video ");  creates "<path>.part" at once, so an output
//                                    that cannot be written is known before any
//                                    work is done (HostError, bad input unless told)
//   fwrite(..., file.stream());      in-process writers use the open stream;
//   file.Close();                    programs that write the file themselves
//                                    (ffmpeg) take file.partial()
//   file.Publish();                  closes and renames it to <path>
//   file.Abort();                    closes and removes the partial file
// Destroying a StagedFile that was not published aborts it. A path that is a
// device or a pipe (/dev/null, a FIFO) is written directly, and never renamed
// over or removed. A failure while
// writing, closing or renaming throws HostError (a failure), "cannot write <path>: <reason>".
//
// A StagedOutput is one output of a run (a video, a folder of frames, a
// contact sheet, a levels CSV). Outputs of a run are published together by
// FinishAndPublish: all are finished first (everything that can fail short of
// the rename fails there), then all renamed; if any step fails, the outputs
// already published are withdrawn and all are aborted, so a failed run leaves
// none of its outputs.
#ifndef LUMAGROVE_STAGED_FILE_H
#define LUMAGROVE_STAGED_FILE_H

#include <stdio.h>

#include <string>
#include <vector>

#include "host/base/host_error.h"

class StagedFile {
public:
    // `what` names the output in the error when the file cannot be created:
    // "cannot write <what><path>: <reason>", as a `fault`.
    explicit StagedFile(const std::string& path, const std::string& what = "", Fault fault = Fault::kBadInput);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& partial() const { return partial_; }  // "<path>.part"
    FILE* stream() const { return stream_; }                 // null once closed

    // Hands what was written to the file system, so a full disk shows here.
    void Flush();
    void Close();
    void Publish();
    // Removes the published file again: another output of the run failed.
    void Withdraw() noexcept;
    void Abort() noexcept;

    // Throws HostError (a failure): "cannot write <path>: <strerror(err)>" (EIO for 0).
    [[noreturn]] void Fail(int err) const;

    // Creates and removes a file at `path` (permissions do not tell: root may
    // write anywhere the file system lets it). Returns 0, or the errno.
    static int TryCreate(const std::string& path);

private:
    std::string path_;
    std::string partial_;
    FILE* stream_ = nullptr;
    bool published_ = false;
    bool direct_ = false;  // a device or a pipe, written as it is: never renamed or removed
};

class StagedOutput {
public:
    virtual ~StagedOutput() = default;
    virtual void Finish() = 0;           // complete the output under its temporary name(s)
    virtual void Publish() = 0;          // move it under its final name(s)
    virtual void Withdraw() noexcept {}  // remove what Publish() put in place
    virtual void Abort() noexcept = 0;   // remove what was written, unless published
};

void FinishAndPublish(const std::vector<StagedOutput*>& outputs);
// Aborts every output (after a failure or an interrupt).
void AbortAll(const std::vector<StagedOutput*>& outputs) noexcept;

#endif
