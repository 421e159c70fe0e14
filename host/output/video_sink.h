// video_sink.h - encodes the frames into an .mp4 through an ffmpeg child
// process: H.264 in yuv420p, with the song's sound as AAC.
//
// Frames go down a pipe exactly as read back (BGRA, bottom row first, see
// frame.h); ffmpeg turns the picture upright and converts it to YUV in one
// pass of its own, so this process copies nothing and converts nothing. The
// sound is read by ffmpeg from `audioPath`, cut to the rendered stretch with
// -ss/-t. The video is staged: ffmpeg writes "<path>.part", Finish() checks
// that ffmpeg succeeded and left a whole file (its top-level boxes run exactly
// to its end and include the movie header: ffmpeg can report success when the
// disk filled as it wrote the file's end), Publish() renames it to <path>;
// Abort() kills ffmpeg and removes the partial file (and leaves a published
// video).
#ifndef LUMAGROVE_VIDEO_SINK_H
#define LUMAGROVE_VIDEO_SINK_H

#include <memory>
#include <string>
#include <vector>

#include "host/base/child_process.h"
#include "host/output/frame_sink.h"

struct VideoSettings {
    std::string path;       // the .mp4 to write
    int width = 0;
    int height = 0;
    int fps = 0;
    std::string audioPath;  // "" for a video without sound
    double start = 0.0;     // seconds into the audio where the video begins
    double duration = 0.0;  // seconds of audio to take
};

class VideoSink : public FrameSink {
public:
    // Checks that the video can be written (HostError status 2 naming the
    // path if not) and starts the encoder (status 1 if it cannot start).
    explicit VideoSink(const VideoSettings& settings);
    ~VideoSink() override;

    void Consume(const Frame& frame) override;
    void Cancel() noexcept override;
    void Finish() override;
    void Publish() override;
    void Withdraw() noexcept override;
    void Abort() noexcept override;

    // The encoder's command line for these settings, writing to `output`.
    static std::vector<std::string> EncoderCommand(const VideoSettings& settings, const std::string& output);
    // The encoder's peak memory in KiB, once finished.
    long encoderPeakKiB() const { return encoder_ ? encoder_->peakMemoryKiB() : 0; }

private:
    // Waits for ffmpeg (killing it if it lingers) and throws its last
    // complaint or else `reason` and how it ended.
    [[noreturn]] void EncoderFailed(const std::string& reason);

    VideoSettings settings_;
    StagedFile file_;
    std::unique_ptr<ChildProcess> encoder_;
};

#endif
