// scratch_dir.h - a private temporary folder for files made during a run
// (the demo song's WAV for the encoder), removed with everything in it when
// the object goes away. Created on first use of path(), in $TMPDIR or /tmp.
#ifndef LUMAGROVE_SCRATCH_DIR_H
#define LUMAGROVE_SCRATCH_DIR_H

#include <string>

class ScratchDir {
public:
    ScratchDir() = default;
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Throws HostError (status 1) when the folder cannot be made.
    const std::string& path();

private:
    std::string path_;
};

#endif
