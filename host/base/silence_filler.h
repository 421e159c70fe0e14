// silence_filler.h - silence for the time a live source sends nothing, so
// the sound's clock keeps real time: a sound server sends nothing while a
// device is idle, OBS nothing while a source is paused or gone.
//
// The source tells the filler when sound came (Heard, with the end of its
// store then); whoever keeps the clock asks, now and then, how much silence
// is due (Due) and pushes that much. Once nothing has come for
// `quietSeconds` (`firstQuietSeconds` before the first sound: a source may
// take long to start), silence is due for the time since the last sound,
// less `lagSeconds` (slack for sound that is late rather than absent). Then
// the next silence is due once the source has been quiet that long again,
// or, `continuous`, at every call until sound comes. Not thread-safe: the
// caller holds its own lock around both calls.
#ifndef LUMAGROVE_SILENCE_FILLER_H
#define LUMAGROVE_SILENCE_FILLER_H

#include <stdint.h>

#include <chrono>

struct SilenceFillerDesc {
    double quietSeconds = 1.0;
    double firstQuietSeconds = 1.0;
    double lagSeconds = 0.0;
    bool continuous = false;
};

class SilenceFiller {
public:
    using Clock = std::chrono::steady_clock;

    explicit SilenceFiller(const SilenceFillerDesc& desc, Clock::time_point now = Clock::now())
        : desc_(desc), lastArrival_(now) {}

    // Sound came; the store now ends at sample frame `end`.
    void Heard(int64_t end, Clock::time_point now) {
        heard_ = true;
        filling_ = false;
        lastArrival_ = now;
        endThen_ = end;
    }
    // Sample frames of silence due now for a store ending at `end`, at
    // `rate`; the caller pushes them.
    int64_t Due(int64_t end, int rate, Clock::time_point now) {
        const double quiet = std::chrono::duration<double>(now - lastArrival_).count();
        if (!filling_ && quiet < (heard_ ? desc_.quietSeconds : desc_.firstQuietSeconds)) return 0;
        filling_ = desc_.continuous;
        const int64_t due = endThen_ + static_cast<int64_t>((quiet - desc_.lagSeconds) * rate);
        if (due <= end) return 0;
        endThen_ = due;
        lastArrival_ =
            now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(desc_.lagSeconds));
        return due - end;
    }

private:
    SilenceFillerDesc desc_;
    Clock::time_point lastArrival_;  // of sound, or of filled silence (less the lag)
    int64_t endThen_ = 0;            // the store's end then
    bool heard_ = false;             // some sound has come
    bool filling_ = false;           // continuous filling under way
};

#endif
