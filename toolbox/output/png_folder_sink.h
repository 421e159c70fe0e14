// png_folder_sink.h - writes each frame as a numbered PNG file into a folder.
//
// Frame n goes to "<folder>/frame_<n>.png", n counted from 0 and written with
// at least six digits (frame_000000.png, frame_000001.png, ...). Each frame is
// a staged file of its own, renamed as soon as it is complete; the sink as a
// whole is one staged output. The folder and any missing parents are created
// at construction. Until Publish(), Abort() removes the frames this run wrote
// and the folders it created, so a cancelled run leaves the folder as it found
// it (less any frames of an earlier run it had already overwritten). After
// Publish() the frames are final and Abort() leaves them; Withdraw() takes
// that back.
#ifndef LUMAGROVE_PNG_FOLDER_SINK_H
#define LUMAGROVE_PNG_FOLDER_SINK_H

#include <string>
#include <vector>

#include "toolbox/output/frame_sink.h"

class PngFolderSink : public FrameSink {
public:
    // Throws HostError (bad input) naming the folder when it cannot be created
    // or written to.
    explicit PngFolderSink(const std::string& folder);
    ~PngFolderSink() override;

    void Consume(const Frame& frame) override;
    void Finish() override;
    void Publish() override;
    void Withdraw() noexcept override;
    void Abort() noexcept override;

    static std::string FrameName(int64_t index);  // "frame_000042.png"

private:
    std::string folder_;
    std::vector<std::string> createdFolders_;  // innermost last
    std::vector<std::string> written_;
    bool published_ = false;  // the frames are the run's output: Abort() keeps them
};

#endif
