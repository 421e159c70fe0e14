// Songs decoded by libsndfile as a stream; and a song written out as a WAV
// (the demo's, for the encoder).
#include "host/audio/audio_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sndfile.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/audio/streamed_source.h"
#include "host/base/host_error.h"
#include "host/output/wav_writer.h"

namespace {

// libmpg123, which libsndfile decodes MP3 with, writes its complaints about a
// damaged stream straight to stderr. The host reports a damaged file in one
// line of its own, so while libsndfile opens a file, or decodes an MP3,
// stderr goes to /dev/null.
class QuietStderr {
public:
    explicit QuietStderr(bool active = true) : saved_(-1) {
        if (!active) return;
        fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_;
};

std::string Seconds(double s) {
    char text[32];
    snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

// libsndfile's own message, without its "Error : " lead and final full stop.
std::string SndfileReason(SNDFILE* file) {
    std::string reason = sf_strerror(file);
    if (reason.rfind("Error : ", 0) == 0) reason.erase(0, 8);
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return reason;
}

// A WAV, AIFF or similar file cut short keeps the header's promise of its
// sound's length; libsndfile then quietly shortens the song and notes, in its
// log, "data : <promised> (should be <present>)". Returns true, with both byte
// counts, when the sound chunk promises more than is there. Promises of 0 or
// 0xFFFFFFFF are the placeholders of writers that could not seek back (a
// stream), not truncation.
bool HeaderPromisesMore(SNDFILE* file, unsigned long long* promised, unsigned long long* present) {
    char log[16384] = "";
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* chunk : {"data", "SSND"}) {
        for (const char* at = strstr(log, chunk); at; at = strstr(at + 1, chunk)) {
            if (sscanf(at + 4, " : %llu (should be %llu)", promised, present) == 2 && *promised > *present &&
                *promised != 0xFFFFFFFFull)
                return true;
        }
    }
    return false;
}

bool IsLeftPosition(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            return true;
        default:
            return false;
    }
}

bool IsRightPosition(int position) {
    switch (position) {
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            return true;
        default:
            return false;
    }
}

// libsndfile's seek lands exactly where it is asked in PCM and FLAC. In Ogg
// Vorbis it can land thousands of frames away; in Opus it can differ in the
// last bits from decoding from the start (the decoder's pre-roll); in MP3 a
// seek before the first read reads silence.
bool ExactSeek(int format) {
    const int coding = format & SF_FORMAT_SUBMASK;
    return coding != SF_FORMAT_VORBIS && coding != SF_FORMAT_OPUS && (format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
}

class AudioFile : public StreamedSource {
public:
    AudioFile(const std::string& path, SNDFILE* file, const SF_INFO& info)
        : StreamedSource(info.samplerate, info.channels, info.frames),
          path_(path),
          file_(file),
          exactSeek_(ExactSeek(info.format)),
          mpeg_((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        std::vector<int> map(static_cast<size_t>(info.channels));
        if (info.channels > 2 &&
            sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int))) == SF_TRUE) {
            for (int position : map)
                sides_.push_back(IsLeftPosition(position)    ? ChannelSide::kLeft
                                 : IsRightPosition(position) ? ChannelSide::kRight
                                                             : ChannelSide::kBoth);
        }
    }
    ~AudioFile() override { sf_close(file_); }

    ChannelSide channelSide(int channel) const override {
        return sides_.empty() ? AudioSource::channelSide(channel) : sides_[static_cast<size_t>(channel)];
    }

    std::string EncoderInputPath() override { return path_; }

protected:
    void Decode(int64_t start, int64_t count, float* out) override {
        QuietStderr quiet(mpeg_);
        if (start != decoderAt_) Reposition(start, count, out);
        ReadFrames(start, count, out);
        decoderAt_ = start + count;
    }

private:
    // Reads exactly `count` frames from the decoder's position `at`.
    void ReadFrames(int64_t at, int64_t count, float* out) {
        int64_t done = 0;
        while (done < count) {
            const sf_count_t n = sf_readf_float(file_, out + done * channels(), count - done);
            if (n <= 0 || sf_error(file_) != SF_ERR_NO_ERROR) Fail(at + done);
            done += n;
        }
    }

    // Moves the decoder to `start`. Where libsndfile's seek is not exact
    // (ExactSeek), the decoder starts again from the top (going back) and
    // decodes its way forward,
    // using `scratch` (room for `room` frames) for what it skips.
    void Reposition(int64_t start, int64_t room, float* scratch) {
        const int64_t from = decoderAt_;
        decoderAt_ = -1;
        if (exactSeek_) {
            if (sf_seek(file_, start, SEEK_SET) != start) Fail(start);
            return;
        }
        int64_t at = from;
        if (from < 0 || start < from) {
            SF_INFO info = {};
            SNDFILE* again = sf_open(path_.c_str(), SFM_READ, &info);
            if (!again) Fail(start);
            sf_close(file_);
            file_ = again;
            at = 0;
        }
        for (; at < start; at += std::min(room, start - at)) ReadFrames(at, std::min(room, start - at), scratch);
    }

    [[noreturn]] void Fail(int64_t at) {
        decoderAt_ = -1;
        const int error = sf_error(file_);
        const std::string reason = error != SF_ERR_NO_ERROR ? SndfileReason(file_) : "the sound ends early";
        throw HostError(kExitFailure, "cannot read " + path_ + " at " + Seconds(double(at) / sampleRate()) + " of " +
                                          Seconds(duration()) + ": the file is damaged or truncated (" + reason + ")");
    }

    std::string path_;
    SNDFILE* file_;
    bool exactSeek_;
    bool mpeg_;
    int64_t decoderAt_ = 0;
    std::vector<ChannelSide> sides_;  // empty: the default mapping
};

}  // namespace

std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) throw HostError(kExitBadInput, "cannot open " + path + ": " + strerror(errno));
    if (S_ISDIR(st.st_mode)) throw HostError(kExitBadInput, path + " is a folder, not a sound file");
    if (st.st_size == 0) throw HostError(kExitBadInput, path + " is empty");

    SF_INFO info = {};
    SNDFILE* file;
    {
        QuietStderr quiet;
        file = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (!file)
        throw HostError(kExitBadInput, path + " is not a sound file that can be read, or its header is damaged (" +
                                           SndfileReason(nullptr) + ")");
    std::string problem;
    unsigned long long promised = 0, present = 0;
    if (info.channels < 1 || info.samplerate < 1)
        problem = path + " is not a sound file that can be read (no channels or no sample rate)";
    else if (info.frames == SF_COUNT_MAX || info.frames < 0)
        problem = path + " is truncated or damaged: the end of its sound cannot be found";
    else if (info.frames == 0) problem = path + " holds no sound (zero samples)";
    else if (HeaderPromisesMore(file, &promised, &present))
        problem = path + " is truncated: its header promises " + std::to_string(promised) +
                  " bytes of sound but only " + std::to_string(present) + " are there";
    if (!problem.empty()) {
        sf_close(file);
        throw HostError(kExitBadInput, problem);
    }
    return std::make_unique<AudioFile>(path, file, info);
}

void WriteWavFile(const std::string& path, AudioSource& source) {
    WavWriter wav(path, source.sampleRate(), source.channels());
    const int64_t chunk = 16384;
    std::vector<float> samples(static_cast<size_t>(chunk * source.channels()));
    for (int64_t at = 0; at < source.frameCount(); at += chunk) {
        const int64_t n = std::min(chunk, source.frameCount() - at);
        source.Read(at, n, samples.data());
        wav.Append(samples.data(), n);
    }
    wav.Finish();
}
