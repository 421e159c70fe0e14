// scratch_folder.h - a private temporary folder for files made during a run
// (the demo song's WAV for the encoder), removed with everything in it when
// the object goes away. Created on first use of path(), in $TMPDIR or /tmp.
#ifndef LUMAGROVE_SCRATCH_FOLDER_H
#define LUMAGROVE_SCRATCH_FOLDER_H

#include <string>

class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Throws HostError (a failure) when the folder cannot be made.
    const std::string& path();

private:
    std::string path_;
};

#endif
