// Songs decoded by FFmpeg's libraries (libavformat finds the sound in any
// container, libavcodec decodes it, libswresample turns it into interleaved
// floats), read as a stream; and a song written out as a WAV (the demo's, for
// the encoder).
#include "toolbox/audio/audio_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/vorbis_parser.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/base/host_error.h"
#include "toolbox/audio/streamed_source.h"

namespace {

std::string Seconds(double s) {
    char text[32];
    snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

std::string AvReason(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(error, text, sizeof text);
    return text;
}

ChannelSide SideOf(AVChannel channel) {
    switch (channel) {
        case AV_CHAN_FRONT_LEFT:
        case AV_CHAN_BACK_LEFT:
        case AV_CHAN_SIDE_LEFT:
        case AV_CHAN_FRONT_LEFT_OF_CENTER:
        case AV_CHAN_TOP_FRONT_LEFT:
        case AV_CHAN_TOP_BACK_LEFT:
        case AV_CHAN_TOP_SIDE_LEFT:
        case AV_CHAN_WIDE_LEFT:
        case AV_CHAN_SURROUND_DIRECT_LEFT:
        case AV_CHAN_BOTTOM_FRONT_LEFT:
        case AV_CHAN_STEREO_LEFT:
            return ChannelSide::kLeft;
        case AV_CHAN_FRONT_RIGHT:
        case AV_CHAN_BACK_RIGHT:
        case AV_CHAN_SIDE_RIGHT:
        case AV_CHAN_FRONT_RIGHT_OF_CENTER:
        case AV_CHAN_TOP_FRONT_RIGHT:
        case AV_CHAN_TOP_BACK_RIGHT:
        case AV_CHAN_TOP_SIDE_RIGHT:
        case AV_CHAN_WIDE_RIGHT:
        case AV_CHAN_SURROUND_DIRECT_RIGHT:
        case AV_CHAN_BOTTOM_FRONT_RIGHT:
        case AV_CHAN_STEREO_RIGHT:
            return ChannelSide::kRight;
        default:
            return ChannelSide::kBoth;
    }
}

// Mono and stereo by the default mapping; more channels by the positions the
// file names, where it names them.
std::vector<ChannelSide> SidesOf(const AVChannelLayout& layout) {
    const int channels = layout.nb_channels;
    if (channels <= 2 || layout.order == AV_CHANNEL_ORDER_UNSPEC) return DefaultChannelSides(channels);
    std::vector<ChannelSide> sides;
    for (int c = 0; c < channels; ++c) sides.push_back(SideOf(av_channel_layout_channel_from_index(&layout, c)));
    return sides;
}

// A song's sound that is missing at its end by no more than this is taken as
// silence: a container's length can count a codec's priming or padding that
// the decoder leaves out. More is missing sound: a damaged or truncated file.
int64_t EndSlack(int rate) { return std::max<int64_t>(4096, rate / 10); }

// The open file, its sound's stream and decoder: what a song decodes with,
// made anew to go back to the start.
struct Decoder {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* convert = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool draining = false;  // the file is read to its end; the decoder gives what it holds

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&convert);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    AVStream* sound() const { return format->streams[stream]; }
};

// Opens `path` and its first sound stream. Throws HostError (bad input)
// naming the file and what is wrong.
std::unique_ptr<Decoder> OpenDecoder(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);  // the host says what is wrong in one line of its own
    auto d = std::make_unique<Decoder>();
    const std::string unreadable = path + " is not a sound file that can be read, or its header is damaged";
    int r = avformat_open_input(&d->format, path.c_str(), nullptr, nullptr);
    if (r < 0) throw HostError(Fault::kBadInput, unreadable + " (" + AvReason(r) + ")");
    d->format->error_recognition |= AV_EF_CRCCHECK;
    r = avformat_find_stream_info(d->format, nullptr);
    if (r < 0) throw HostError(Fault::kBadInput, unreadable + " (" + AvReason(r) + ")");
    const AVCodec* codec = nullptr;
    d->stream = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (d->stream == AVERROR_STREAM_NOT_FOUND)
        throw HostError(Fault::kBadInput, path + " has no sound (no audio stream)");
    if (d->stream == AVERROR_DECODER_NOT_FOUND || !codec) {
        const int any = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const char* name = any >= 0 ? avcodec_get_name(d->format->streams[any]->codecpar->codec_id) : "unknown";
        throw HostError(Fault::kBadInput, path + ": its sound is coded as " + std::string(name) +
                                              ", which this build of FFmpeg cannot decode");
    }
    if (d->stream < 0) throw HostError(Fault::kBadInput, unreadable + " (" + AvReason(d->stream) + ")");
    const AVCodecParameters* parameters = d->sound()->codecpar;
    if (parameters->sample_rate < 1 || parameters->ch_layout.nb_channels < 1)
        throw HostError(Fault::kBadInput, path + " holds no sound (no channels or no sample rate)");
    d->codec = avcodec_alloc_context3(codec);
    if (!d->codec || avcodec_parameters_to_context(d->codec, parameters) < 0) throw std::bad_alloc();
    // Damage is an error, not a glitch to decode past.
    d->codec->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_EXPLODE;
    d->codec->pkt_timebase = d->sound()->time_base;
    r = avcodec_open2(d->codec, codec, nullptr);
    if (r < 0) throw HostError(Fault::kBadInput, path + ": cannot decode its sound (" + AvReason(r) + ")");
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->packet || !d->frame) throw std::bad_alloc();
    return d;
}

// The sample frames of an ADTS packet (raw AAC), at the song's `rate`: its
// header names its own rate, which changes in files joined end to end; -1
// for a packet without an ADTS header.
int64_t AdtsFrames(const AVPacket& packet, int rate) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    const uint8_t* h = packet.data;
    if (packet.size < 7 || h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) return -1;
    const int index = (h[2] >> 2) & 0x0F;
    if (index >= 13) return -1;
    const int64_t frames = 1024 * ((h[6] & 0x03) + 1);
    return av_rescale(frames, rate, kRates[index]);
}

// The bytes an ID3v2 tag takes at the start of `data` (0 for none): MP3s
// joined end to end carry the second one's tags where its sound begins.
int Id3Bytes(const uint8_t* data, int size) {
    if (size < 10 || memcmp(data, "ID3", 3) != 0) return 0;
    const int tag = 10 + ((data[6] & 0x7F) << 21 | (data[7] & 0x7F) << 14 | (data[8] & 0x7F) << 7 | (data[9] & 0x7F)) +
                    ((data[5] & 0x10) ? 10 : 0);
    return std::min(tag, size);
}

// The sample frames of an MP3 packet (an MPEG audio frame, after any ID3
// tag), at the song's `rate`: its header names its own rate and layer,
// which change in files joined end to end; -1 without a frame header.
int64_t MpegFrames(const AVPacket& packet, int rate) {
    const int skip = Id3Bytes(packet.data, packet.size);
    const uint8_t* h = packet.data + skip;
    if (packet.size - skip < 4 || h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return -1;
    const int version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3, index = (h[2] >> 2) & 3;
    if (version == 1 || layer == 0 || index == 3) return -1;
    static const int kRates[3] = {44100, 48000, 32000};
    const int divisor = version == 3 ? 1 : version == 2 ? 2 : 4;  // MPEG-1, 2, 2.5
    const int frames = layer == 3 ? 384 : (layer == 1 && version != 3) ? 576 : 1152;
    return av_rescale(frames, rate, kRates[index] / divisor);
}

// Whether the container's length is not the sound stream's own, exact one:
// an MP3's counts the encoder's delay and padding; Matroska and WebM give
// only the whole file's (the picture's, in a video whose sound stops first);
// raw AAC (ADTS) has an estimate from the bit rate; and a stream may give none.
bool LengthFromPackets(const Decoder& d) {
    const char* format = d.format->iformat->name;
    return strcmp(format, "mp3") == 0 || strcmp(format, "aac") == 0 || strncmp(format, "matroska", 8) == 0 ||
           d.sound()->duration == AV_NOPTS_VALUE || d.sound()->duration <= 0;
}

// Sample frames in the song, at its first rate: what its container says,
// less the codec's priming the decoder leaves out (0 when it says nothing);
// or, where that is not the stream's own length (LengthFromPackets), its
// packets counted, less what the decoder is told to skip at the start and
// discard at the end (a pass over the file that reads it but decodes
// nothing); for an MP3, unless the header promises much more than there is.
// `cut` tells a Matroska or WebM file whose every stream ends early: cut
// short, where a sound that stops before its picture is whole.
int64_t FramesOf(const Decoder& d, bool* cut) {
    *cut = false;
    const AVStream* s = d.sound();
    const int rate = d.codec->sample_rate;
    const AVRational samples = {1, rate};
    if (LengthFromPackets(d)) {
        // Vorbis outside Ogg carries no exact durations: its packets say
        // theirs to Vorbis's own parser.
        AVVorbisParseContext* vorbis = s->codecpar->codec_id == AV_CODEC_ID_VORBIS && s->codecpar->extradata
                                           ? av_vorbis_parse_init(s->codecpar->extradata, s->codecpar->extradata_size)
                                           : nullptr;
        int64_t total = 0;
        bool skipped = false;  // the start's priming is said by the packets
        bool first = true;
        const bool adtsFile = strcmp(d.format->iformat->name, "aac") == 0;
        const bool mp3File = strcmp(d.format->iformat->name, "mp3") == 0;
        int64_t lastEnd = AV_NOPTS_VALUE;  // of any stream's packets
        AVPacket* packet = av_packet_alloc();
        if (!packet) throw std::bad_alloc();
        while (av_read_frame(d.format, packet) >= 0) {
            if (packet->pts != AV_NOPTS_VALUE) {
                const AVRational base = d.format->streams[packet->stream_index]->time_base;
                lastEnd = std::max(lastEnd, av_rescale_q(packet->pts + packet->duration, base, AV_TIME_BASE_Q));
            }
            if (packet->stream_index == d.stream) {
                // A packet without a duration: what its codec says its size holds.
                // (Vorbis's first packet only primes the decoder: it gives no sound.)
                const int vorbisFrames = vorbis ? av_vorbis_parse_frame(vorbis, packet->data, packet->size) : 0;
                const int64_t own = adtsFile  ? AdtsFrames(*packet, rate)
                                    : mp3File ? MpegFrames(*packet, rate)
                                              : int64_t(-1);
                if (vorbis) total += first ? 0 : std::max(0, vorbisFrames);
                else if (own >= 0) total += own;
                else if (packet->duration > 0) total += av_rescale_q(packet->duration, s->time_base, samples);
                else total += std::max(0, av_get_audio_frame_duration2(s->codecpar, packet->size));
                size_t size = 0;
                const uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
                if (skip && size >= 8) {
                    total -= AV_RL32(skip) + AV_RL32(skip + 4);
                    skipped = skipped || AV_RL32(skip) > 0;
                }
                first = false;
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        av_vorbis_parse_free(&vorbis);
        if (strncmp(d.format->iformat->name, "matroska", 8) == 0 && d.format->duration > 0 &&
            lastEnd != AV_NOPTS_VALUE) {
            const int64_t start = d.format->start_time != AV_NOPTS_VALUE ? d.format->start_time : 0;
            *cut = start + d.format->duration - lastEnd > AV_TIME_BASE / 10;
        }
        if (strcmp(d.format->iformat->name, "mp3") != 0) return total - (skipped ? 0 : s->codecpar->initial_padding);
        // A file cut short keeps its header's promise (a Xing or LAME frame
        // count): the promise stands, and the missing sound is found missing
        // where it should be. A length guessed from the first frame's bit
        // rate promises nothing (files joined end to end are longer or
        // shorter than it).
        const bool counted = d.format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
        const int64_t promised =
            counted && s->duration != AV_NOPTS_VALUE
                ? av_rescale_q(s->duration - std::max<int64_t>(0, s->start_time), s->time_base, samples)
                : 0;
        return promised - total > EndSlack(rate) ? promised : total;
    }
    int64_t frames = 0;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) frames = av_rescale_q(s->duration, s->time_base, samples);
    else if (d.format->duration != AV_NOPTS_VALUE && d.format->duration > 0)
        frames = av_rescale_q(d.format->duration, AVRational{1, AV_TIME_BASE}, samples);
    return frames > 0 ? frames - s->codecpar->initial_padding : 0;
}

// An Ogg file whose last page does not end its stream was cut short: the
// container's own length then counts only what is left.
bool OggEndMissing(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<unsigned char> tail(65536);
    fseek(file, 0, SEEK_END);
    const long size = ftell(file);
    const long from = std::max(0L, size - static_cast<long>(tail.size()));
    fseek(file, from, SEEK_SET);
    tail.resize(fread(tail.data(), 1, tail.size(), file));
    fclose(file);
    for (size_t at = tail.size() >= 6 ? tail.size() - 6 : 0; at-- > 0;)
        if (memcmp(&tail[at], "OggS", 4) == 0 && tail[at + 4] == 0) return (tail[at + 5] & 0x04) == 0;
    return true;
}

bool IsOgg(const std::string& path) {
    char magic[4] = {};
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    const bool ogg = fread(magic, 1, 4, file) == 4 && memcmp(magic, "OggS", 4) == 0;
    fclose(file);
    return ogg;
}

// Pages that begin in the first 64 KiB of an Ogg file (its headers' pages come first).
int OggPages(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return 0;
    std::vector<unsigned char> head(65536);
    head.resize(fread(head.data(), 1, head.size(), file));
    fclose(file);
    int pages = 0;
    for (size_t at = 0; at + 5 < head.size(); ++at) pages += memcmp(&head[at], "OggS", 4) == 0 && head[at + 4] == 0;
    return pages;
}

HostError Truncated(const std::string& path) {
    return HostError(Fault::kBadInput, path + " is truncated: the end of its sound is missing");
}

// Sound the header promises past the end of the file (a WAV or AIFF cut
// short): the bytes promised and those there, for PCM, where the one follows
// from the other.
bool PcmPromisesMore(const Decoder& d, int64_t frames, int64_t* promised, int64_t* present) {
    const AVCodecParameters* p = d.sound()->codecpar;
    const int bits = av_get_bits_per_sample(p->codec_id);
    if (bits <= 0 || p->block_align <= 0 || !d.format->pb) return false;
    if (av_read_frame(d.format, d.packet) < 0) return false;
    const int64_t start = d.packet->pos;
    av_packet_unref(d.packet);
    const int64_t size = avio_size(d.format->pb);
    if (start < 0 || size <= 0) return false;
    *promised = frames * p->block_align;
    *present = size - start;
    return *promised > *present;
}

// The decoder's next frame of sound into d.frame: true when there is one,
// false at the end of the stream. A failure is returned in `failure`
// (FFmpeg's reason), with false.
bool NextFrame(Decoder& d, std::string* failure) {
    for (;;) {
        int r = avcodec_receive_frame(d.codec, d.frame);
        if (r == 0) return true;
        if (r == AVERROR_EOF) return false;
        if (r != AVERROR(EAGAIN) || d.draining) {
            if (r != AVERROR(EAGAIN)) *failure = AvReason(r);
            return false;
        }
        r = av_read_frame(d.format, d.packet);
        if (r == AVERROR_EOF) {
            d.draining = true;
            avcodec_send_packet(d.codec, nullptr);
            continue;
        }
        if (r < 0) {
            *failure = AvReason(r);
            return false;
        }
        if (d.packet->stream_index == d.stream) {
            // A tag where joined MP3s meet is no sound: what follows it is.
            const int tag = d.codec->codec_id == AV_CODEC_ID_MP3 ? Id3Bytes(d.packet->data, d.packet->size) : 0;
            d.packet->data += tag;
            d.packet->size -= tag;
            r = d.packet->size > 0 ? avcodec_send_packet(d.codec, d.packet) : 0;
        }
        av_packet_unref(d.packet);
        if (r < 0 && r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
            *failure = AvReason(r);
            return false;
        }
    }
}

// Whether the decoder gives any sound at all: a stream can be there, with a
// length, and hold no samples. Decoding fails as bad input here.
bool GivesSound(Decoder& d, const std::string& path) {
    std::string failure;
    while (NextFrame(d, &failure)) {
        const bool some = d.frame->nb_samples > 0;
        av_frame_unref(d.frame);
        if (some) return true;
    }
    if (!failure.empty()) throw HostError(Fault::kBadInput, path + ": cannot decode its sound (" + failure + ")");
    return false;
}

class AudioFile : public StreamedSource {
public:
    AudioFile(const std::string& path, std::unique_ptr<Decoder> decoder, int64_t frames)
        : StreamedSource(decoder->codec->sample_rate, decoder->codec->ch_layout.nb_channels, frames),
          path_(path),
          decoder_(std::move(decoder)),
          sides_(SidesOf(decoder_->codec->ch_layout)) {
        av_channel_layout_copy(&songLayout_, &decoder_->codec->ch_layout);
        const AVDictionaryEntry* title = av_dict_get(decoder_->format->metadata, "title", nullptr, 0);
        const AVDictionaryEntry* artist = av_dict_get(decoder_->format->metadata, "artist", nullptr, 0);
        if (!title) title = av_dict_get(decoder_->sound()->metadata, "title", nullptr, 0);
        if (!artist) artist = av_dict_get(decoder_->sound()->metadata, "artist", nullptr, 0);
        if (title && *title->value)
            title_ = artist && *artist->value ? std::string(artist->value) + " - " + title->value
                                              : std::string(title->value);
        StartConverter();
    }

    ~AudioFile() override {
        av_channel_layout_uninit(&fromLayout_);
        av_channel_layout_uninit(&songLayout_);
    }

    ChannelSide channelSide(int channel) const override { return sides_[static_cast<size_t>(channel)]; }
    std::string title() const override { return title_; }

protected:
    void Decode(int64_t start, int64_t count, float* out) override {
        if (start < position_) Rewind();
        while (position_ < start) {  // forward, decoding what is passed over: exact whatever the codec
            const int64_t skip = std::min<int64_t>(start - position_, 16384);
            scratch_.resize(static_cast<size_t>(skip * channels()));
            Produce(skip, scratch_.data());
        }
        Produce(count, out);
    }

private:
    // The converter into the song's own format (its first channels and rate,
    // as floats) from `layout`, `format` and `rate`: the decoder's at the
    // start, a frame's where the sound changes part-way.
    void StartConverter(const AVChannelLayout& layout, int format, int rate) {
        Decoder& d = *decoder_;
        swr_free(&d.convert);
        // (FFmpeg 5.1 takes the layouts without const; it only reads them.)
        const int r = swr_alloc_set_opts2(&d.convert, &songLayout_, AV_SAMPLE_FMT_FLT, sampleRate(),
                                          const_cast<AVChannelLayout*>(&layout), static_cast<AVSampleFormat>(format),
                                          rate, 0, nullptr);
        if (r < 0 || swr_init(d.convert) < 0) Fail("cannot convert its samples (" + AvReason(r) + ")");
        av_channel_layout_uninit(&fromLayout_);
        av_channel_layout_copy(&fromLayout_, &layout);
        fromFormat_ = format;
        fromRate_ = rate;
    }
    void StartConverter() {
        StartConverter(decoder_->codec->ch_layout, decoder_->codec->sample_fmt, decoder_->codec->sample_rate);
    }

    // The decoder anew from the start of the file: going back gives exactly
    // the samples the first pass gave.
    void Rewind() {
        decoder_.reset();
        try {
            decoder_ = OpenDecoder(path_);
        } catch (const HostError& e) {
            Fail(e.what());
        }
        StartConverter();
        position_ = 0;
        pending_.clear();
        taken_ = 0;
        drained_ = false;
    }

    // `count` frames from position_ into `out`.
    void Produce(int64_t count, float* out) {
        const int n = channels();
        while (count > 0) {
            const int64_t held = static_cast<int64_t>(pending_.size()) / n - taken_;
            if (held > 0) {
                const int64_t take = std::min(held, count);
                std::copy_n(&pending_[static_cast<size_t>(taken_ * n)], take * n, out);
                out += take * n;
                count -= take;
                taken_ += take;
                position_ += take;
                continue;
            }
            if (DecodeMore()) continue;
            // The end of the sound: a little short of the song's length is silence.
            if (frameCount() - position_ > EndSlack(sampleRate())) Fail("the sound ends early");
            std::fill_n(out, count * n, 0.0f);
            position_ += count;
            return;
        }
    }

    // The next decoded frame into pending_; false at the end of the sound
    // (what a resampler still holds comes first).
    bool DecodeMore() {
        std::string failure;
        if (!NextFrame(*decoder_, &failure)) {
            if (!failure.empty()) Fail(failure);
            if (drained_) return false;
            drained_ = true;
            pending_.clear();
            taken_ = 0;
            TakeHeld();
            return !pending_.empty();
        }
        Convert();
        av_frame_unref(decoder_->frame);
        return true;
    }

    // A frame into pending_, in the song's format. Where the sound changes
    // its channels or rate part-way (songs joined end to end), the converter
    // is made anew for what comes, after giving what it held of what was.
    void Convert() {
        Decoder& d = *decoder_;
        pending_.clear();
        taken_ = 0;
        const AVFrame* f = d.frame;
        if (f->sample_rate != fromRate_ || f->format != fromFormat_ ||
            av_channel_layout_compare(&f->ch_layout, &fromLayout_) != 0) {
            if (f->sample_rate < 1 || f->ch_layout.nb_channels < 1) Fail("a part of its sound has no channels or rate");
            TakeHeld();
            StartConverter(f->ch_layout, f->format, f->sample_rate);
        }
        const int n = channels();
        const size_t at = pending_.size();
        const int room = swr_get_out_samples(d.convert, f->nb_samples);
        if (room < 0) Fail(AvReason(room));
        pending_.resize(at + static_cast<size_t>(room) * n);
        uint8_t* to = reinterpret_cast<uint8_t*>(pending_.data() + at);
        const int made =
            swr_convert(d.convert, &to, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        if (made < 0) Fail(AvReason(made));
        pending_.resize(at + static_cast<size_t>(made) * n);
    }

    // What the converter holds (a resampler's delay), appended to pending_.
    void TakeHeld() {
        Decoder& d = *decoder_;
        const int n = channels();
        const int64_t held = swr_get_delay(d.convert, sampleRate()) + 16;
        const size_t at = pending_.size();
        pending_.resize(at + static_cast<size_t>(held) * n);
        uint8_t* to = reinterpret_cast<uint8_t*>(pending_.data() + at);
        const int made = swr_convert(d.convert, &to, static_cast<int>(held), nullptr, 0);
        pending_.resize(at + static_cast<size_t>(std::max(0, made)) * n);
    }

    [[noreturn]] void Fail(const std::string& reason) {
        throw HostError(Fault::kFailure, "cannot read " + path_ + " at " + Seconds(double(position_) / sampleRate()) +
                                             " of " + Seconds(duration()) + ": the file is damaged or truncated (" +
                                             reason + ")");
    }

    std::string path_;
    std::unique_ptr<Decoder> decoder_;
    std::vector<ChannelSide> sides_;
    std::string title_;
    AVChannelLayout songLayout_ = {};  // the song's channels: its first part's
    AVChannelLayout fromLayout_ = {};  // what the converter takes now
    int fromFormat_ = -1, fromRate_ = 0;
    bool drained_ = false;        // the converter's last samples are taken
    int64_t position_ = 0;        // the song's frame the next Produce() starts at
    std::vector<float> pending_;  // the last decoded frame's samples, interleaved
    int64_t taken_ = 0;           // frames of pending_ already produced
    std::vector<float> scratch_;  // what a jump forward passes over
};

}  // namespace

std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) throw HostError(Fault::kBadInput, "cannot open " + path + ": " + strerror(errno));
    if (S_ISDIR(st.st_mode)) throw HostError(Fault::kBadInput, path + " is a folder, not a sound file");
    if (st.st_size == 0) throw HostError(Fault::kBadInput, path + " is empty");

    std::unique_ptr<Decoder> decoder;
    try {
        decoder = OpenDecoder(path);
    } catch (const HostError&) {
        // An Ogg file cut short past its headers fails to open for want of its end.
        if (IsOgg(path) && OggPages(path) >= 3 && OggEndMissing(path)) throw Truncated(path);
        throw;
    }
    bool cut = false;
    const int64_t frames = FramesOf(*decoder, &cut);
    if (cut) throw Truncated(path);
    int64_t promised = 0, present = 0;
    if (frames <= 0) throw HostError(Fault::kBadInput, path + " holds no sound (zero samples)");
    if (IsOgg(path) && OggEndMissing(path)) throw Truncated(path);
    if (PcmPromisesMore(*decoder, frames, &promised, &present))
        throw HostError(Fault::kBadInput, path + " is truncated: its header promises " + std::to_string(promised) +
                                              " bytes of sound but only " + std::to_string(present) + " are there");
    decoder = OpenDecoder(path);
    if (!GivesSound(*decoder, path)) throw HostError(Fault::kBadInput, path + " holds no sound (zero samples)");
    // What the checks read goes: the song starts from the top.
    decoder = OpenDecoder(path);
    return std::make_unique<AudioFile>(path, std::move(decoder), frames);
}

std::string SongTitle(const AudioSource& song, const std::string& path) {
    const std::string tagged = song.title();
    return tagged.empty() ? path.substr(path.find_last_of('/') + 1) : tagged;
}
