#include "host/video_sink.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "host/host_error.h"

namespace {

std::string Decimal(double seconds) {
    char text[32];
    snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

}  // namespace

std::vector<std::string> VideoSink::EncoderCommand(const VideoSettings& s, const std::string& output) {
    std::vector<std::string> cmd = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                    // the frames, exactly as read back
                                    "-f", "rawvideo", "-pix_fmt", "bgra",
                                    "-video_size", std::to_string(s.width) + "x" + std::to_string(s.height),
                                    "-framerate", std::to_string(s.fps), "-i", "pipe:0"};
    const bool sound = !s.audioPath.empty();
    if (sound) {
        cmd.insert(cmd.end(), {"-ss", Decimal(s.start), "-t", Decimal(s.duration), "-i", s.audioPath});
    }
    cmd.insert(cmd.end(), {"-map", "0:v:0"});
    if (sound) cmd.insert(cmd.end(), {"-map", "1:a:0?"});
    // Upright (a pointer flip, no copy), then one conversion to 4:2:0. A low
    // CRF keeps the dark glow gradients free of banding.
    cmd.insert(cmd.end(), {"-vf", "vflip", "-c:v", "libx264", "-preset", "medium", "-crf", "18",
                           "-pix_fmt", "yuv420p"});
    if (sound) cmd.insert(cmd.end(), {"-c:a", "aac", "-b:a", "192k"});
    cmd.insert(cmd.end(), {"-f", "mp4", output});
    return cmd;
}

VideoSink::VideoSink(const VideoSettings& settings) : settings_(settings), partial_(settings.path + ".part") {
    // Try the file before starting anything: a folder that is missing or
    // cannot be written is bad input, not a failure of the encoder.
    const int fd = open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw HostError(kExitBadInput, "cannot write video " + settings.path + ": " + strerror(errno));
    close(fd);
    try {
        encoder_.reset(new ChildProcess(EncoderCommand(settings_, partial_)));
    } catch (...) {
        unlink(partial_.c_str());
        throw;
    }
}

VideoSink::~VideoSink() { Abort(); }

void VideoSink::EncoderFailed() {
    encoder_->Kill();
    const int status = encoder_->CloseAndWait();
    std::string why = encoder_->LastErrorLine();
    if (why.empty()) why = "exit status " + std::to_string(status);
    throw HostError(kExitFailure, "ffmpeg failed while writing " + settings_.path + ": " + why);
}

void VideoSink::Consume(const Frame& frame) {
    if (!encoder_->Write(frame.pixels, FrameBytes(frame.width, frame.height))) EncoderFailed();
}

void VideoSink::Cancel() noexcept { encoder_->Kill(); }

void VideoSink::Finish() {
    if (encoder_->CloseAndWait() != 0) EncoderFailed();
    if (rename(partial_.c_str(), settings_.path.c_str()) != 0)
        throw HostError(kExitFailure, "cannot write video " + settings_.path + ": " + strerror(errno));
    finished_ = true;
}

void VideoSink::Abort() noexcept {
    if (finished_) return;
    encoder_->Kill();
    encoder_->CloseAndWait();
    unlink(partial_.c_str());
}
