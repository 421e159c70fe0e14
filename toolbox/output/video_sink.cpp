#include "toolbox/output/video_sink.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "host/base/host_error.h"
#include "toolbox/output/yuv_convert.h"

namespace {

// How long ffmpeg may take to end once it has stopped reading frames.
const int kEncoderEndMs = 2000;

std::string Decimal(double seconds) {
    char text[32];
    snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

uint64_t BigEndian(const uint8_t* bytes, int count) {
    uint64_t v = 0;
    for (int i = 0; i < count; ++i) v = v << 8 | bytes[i];
    return v;
}

// True when the file is a whole MP4: its top-level boxes (a 32-bit size, or
// 1 and a 64-bit size after the type; 0 for "to the end") follow each other
// exactly to the end of the file, and the media data and the movie header,
// which ffmpeg writes last, are among them.
bool IsWholeMp4(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    bool movie = false, media = false, whole = false;
    if (fseeko(file, 0, SEEK_END) == 0) {
        const uint64_t end = static_cast<uint64_t>(ftello(file));
        for (uint64_t at = 0;;) {
            if (at == end) {
                whole = true;
                break;
            }
            uint8_t head[16];
            if (end - at < 8 || fseeko(file, static_cast<off_t>(at), SEEK_SET) != 0 || fread(head, 1, 8, file) != 8)
                break;
            uint64_t size = BigEndian(head, 4);
            if (size == 1) size = fread(head + 8, 1, 8, file) == 8 ? BigEndian(head + 8, 8) : 0;
            else if (size == 0) size = end - at;
            if (size < 8 || size > end - at) break;
            movie |= memcmp(head + 4, "moov", 4) == 0;
            media |= memcmp(head + 4, "mdat", 4) == 0;
            at += size;
        }
    }
    fclose(file);
    return whole && movie && media;
}

}  // namespace

std::vector<std::string> VideoSink::EncoderCommand(const VideoSettings& s, const std::string& output) {
    std::vector<std::string> cmd = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                    // the frames, upright, in the encoder's own 4:2:0
                                    "-f", "rawvideo", "-pix_fmt", "yuv420p", "-video_size",
                                    std::to_string(s.width) + "x" + std::to_string(s.height), "-framerate",
                                    std::to_string(s.fps), "-i", "pipe:0"};
    const bool sound = !s.audioPath.empty() && !s.soundAtEnd;
    if (sound) {
        cmd.insert(cmd.end(), {"-ss", Decimal(s.start), "-t", Decimal(s.duration), "-i", s.audioPath});
    }
    cmd.insert(cmd.end(), {"-map", "0:v:0"});
    if (sound) cmd.insert(cmd.end(), {"-map", "1:a:0?"});
    // No conversion on ffmpeg's side; the video says which matrix and range
    // its YUV is in (BT.601, limited), so players turn it back into the
    // colours drawn. A low CRF keeps the dark glow gradients free of banding.
    cmd.insert(cmd.end(), {"-c:v", "libx264", "-preset", s.quality.preset, "-crf", std::to_string(s.quality.crf),
                           "-colorspace", "smpte170m", "-color_range", "tv"});
    if (*s.quality.tune) cmd.insert(cmd.end(), {"-tune", s.quality.tune});
    if (s.threads > 0) cmd.insert(cmd.end(), {"-threads", std::to_string(s.threads)});
    if (sound) cmd.insert(cmd.end(), {"-c:a", "aac", "-b:a", "192k"});
    cmd.insert(cmd.end(), {"-f", "mp4", output});
    return cmd;
}

// The file is staged before anything starts: a folder that is missing or
// cannot be written is bad input, not a failure of the encoder. ffmpeg writes
// the partial file itself.
VideoSink::VideoSink(const VideoSettings& settings)
    : settings_(settings), file_(settings.path, "video "), yuv_(Yuv420Bytes(settings.width, settings.height)) {
    file_.Close();
    encoder_ = std::make_unique<ChildProcess>(EncoderCommand(settings_, file_.partial()));
}

// The encoder (killed and waited for by its own destructor) goes before the
// staged file, which then removes the partial video unless it was published.
VideoSink::~VideoSink() = default;

void VideoSink::EncoderFailed(const std::string& reason) {
    encoder_->CloseAndWait(kEncoderEndMs);
    std::string why = encoder_->LastErrorLine();
    if (why.empty()) why = reason.empty() ? encoder_->HowItEnded() : reason + " (" + encoder_->HowItEnded() + ")";
    throw HostError(Fault::kFailure, "ffmpeg failed while writing " + settings_.path + ": " + why);
}

void VideoSink::Consume(const Frame& frame) {
    ConvertToYuv420(frame, yuv_.data());
    if (!encoder_->Write(yuv_.data(), yuv_.size())) EncoderFailed("it stopped taking frames");
}

std::vector<std::string> VideoSink::MuxCommand(const VideoSettings& s, const std::string& video,
                                               const std::string& output) {
    return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error",     "-y",    "-i",   video,
            "-i",     s.audioPath,    "-map",     "0:v:0",     "-map",      "1:a:0", "-c:v", "copy",
            "-c:a",   "aac",          "-b:a",     "192k",      "-shortest", "-f",    "mp4",  output};
}

// The finished video and the sound into one file, which then takes the
// video's place under the partial name.
void VideoSink::MuxSound() {
    const std::string muxed = settings_.path + ".mux.part";
    ChildProcess mux(MuxCommand(settings_, file_.partial(), muxed));
    const int status = mux.CloseAndWait();
    if (status != 0 || !IsWholeMp4(muxed) || rename(muxed.c_str(), file_.partial().c_str()) != 0) {
        std::string why = mux.LastErrorLine();
        unlink(muxed.c_str());
        throw HostError(Fault::kFailure, "ffmpeg failed while adding the sound to " + settings_.path + ": " +
                                             (why.empty() ? mux.HowItEnded() : why));
    }
}

void VideoSink::Cancel() noexcept { encoder_->Kill(); }

void VideoSink::Finish() {
    if (encoder_->CloseAndWait() != 0) EncoderFailed("");
    if (!IsWholeMp4(file_.partial())) EncoderFailed("the video it wrote is incomplete");
    if (settings_.soundAtEnd && !settings_.audioPath.empty()) MuxSound();
}

void VideoSink::Publish() { file_.Publish(); }

void VideoSink::Withdraw() noexcept { file_.Withdraw(); }

void VideoSink::Abort() noexcept {
    encoder_->Kill();
    encoder_->CloseAndWait();
    unlink((settings_.path + ".mux.part").c_str());
    file_.Abort();
}
