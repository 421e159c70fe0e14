// video_sink.h - encodes the frames into an .mp4 through an ffmpeg child
// process: H.264 in yuv420p with x264's settings for the chosen quality
// (toolbox/output/video_quality.h), with the song's sound as AAC.
//
// Each frame is converted, on the writer thread, from the read-back's BGRA
// (see frame.h) to upright YUV 4:2:0 (toolbox/output/yuv_convert.h), which goes
// down the pipe as x264 takes it: less than half the bytes of BGRA, and no
// conversion on ffmpeg's side, which was the costliest step there. The
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

#include "toolbox/base/child_process.h"
#include "toolbox/output/frame_sink.h"
#include "toolbox/output/video_quality.h"

struct VideoSettings {
    std::string path;  // the .mp4 to write
    int width = 0;
    int height = 0;
    int fps = 0;
    std::string audioPath;  // "" for a video without sound
    double start = 0.0;     // seconds into the audio where the video begins
    double duration = 0.0;  // seconds of audio to take
    VideoQuality quality = DefaultVideoQuality();
    int threads = 0;  // x264's threads; 0 lets x264 choose (1.5 a core)
    // The sound at audioPath is complete only once the frames are (a live
    // recording): it is muxed in by Finish(), from its start, then.
    bool soundAtEnd = false;
};

class VideoSink : public FrameSink {
public:
    // Checks that the video can be written (HostError (bad input) naming the
    // path if not) and starts the encoder (a failure if it cannot start).
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
    // The command that adds the sound to a finished video (soundAtEnd).
    static std::vector<std::string> MuxCommand(const VideoSettings& settings, const std::string& video,
                                               const std::string& output);
    // The encoder's peak memory in KiB, once finished.
    long encoderPeakKiB() const { return encoder_ ? encoder_->peakMemoryKiB() : 0; }

private:
    // Waits for ffmpeg (killing it if it lingers) and throws its last
    // complaint or else `reason` and how it ended.
    [[noreturn]] void EncoderFailed(const std::string& reason);
    void MuxSound();

    VideoSettings settings_;
    StagedFile file_;
    std::vector<uint8_t> yuv_;  // the frame being written, converted
    std::unique_ptr<ChildProcess> encoder_;
};

#endif
