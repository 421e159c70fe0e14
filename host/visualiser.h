// visualiser.h - the library's core behind the C API (host/api/): a
// Visualiser owns the plug-in from load to release, the sound pushed in, its
// analysis and the frame driver. The C API (include/lumagrove/lumagrove.h)
// is its one user; no host sees it (tools/check_layers.py checks it).
//
// Glossary (the words are easy to confuse):
//   sample frame   one instant of sound: one float per channel, interleaved.
//                  Sound is counted and placed in sample frames, from the
//                  sound's sample 0 (the first pushed since StartSound() or
//                  Restart()).
//   frame          always a picture frame: one picture the plug-in draws.
//   sound time     where a frame falls in the sound pushed in, in seconds
//                  from its sample 0 (FrameTime::soundTime).
//   time           the seconds handed to the plug-in with a frame: the
//                  host's own clock (a song's time, a stream's, OBS's).
//   recorded sound sound known ahead of the frame (a song, a stream, a
//                  recording): each frame is analysed on the window centred
//                  on its sound time, so a frame is due only once half a
//                  window of sound past it has come (heldBack()).
//   live sound     sound as it is heard (a live view, an OBS source, a
//                  microphone): each frame is analysed on the window that
//                  ends at its sound time; the newest kLiveSeconds are kept.
//   target         where the plug-in draws: an offscreen context of the
//                  visualiser's own, the one context every Lumagrove of a
//                  process shares (elements, OBS sources), or the caller's
//                  own (a window, a canvas).
//
// A visualiser's life, on one thread but for PushSound and its kin:
//   Visualiser v(desc);          the plug-in loaded and started on the target;
//                                on failure HostError names the file and fault
//   v.StartSound({rate, sides, mode})   the sound's format, before its samples
//   v.PushSound(samples, count)  sound as it comes (any thread);
//                                PushSilence(), FillGapTo() for gaps
//   v.Draw(frame)                a frame on a target that shows frames;
//                                DrawInto(), DrawIntoTexture(), Skip()
//   v.Restart()                  a new segment or stream: sound and analysis afresh
// Ownership: the visualiser owns its plug-in, target, sound and analysis.
#ifndef LUMAGROVE_VISUALISER_H
#define LUMAGROVE_VISUALISER_H

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The vocabulary the calls below speak.
#include "host/analysis/sample_store.h"
#include "host/base/channel_sides.h"
#include "host/base/frame_time.h"
#include "host/base/host_error.h"
#include "host/base/silence_filler.h"
#include "host/driver/frame_target.h"
#include "host/gl/gl_context.h"
#include "host/loader/plugin_loader.h"

enum class SoundMode {
    kRecorded,  // the window centred on the frame; frames wait for half a window more
    kLive,      // the window ending at the frame; the newest kLiveSeconds kept
};

struct SoundDesc {
    int rate = 48000;                // sample frames a second
    std::vector<ChannelSide> sides;  // one per channel: which side it feeds (empty: stereo)
    SoundMode mode = SoundMode::kRecorded;
    // Recorded sound is let go of once no later frame can need it, so
    // memory stays flat; a host whose frames may go back (a page seeking a
    // song it pushed whole) keeps it all.
    bool keepAll = false;
    // Seconds: with more than 0, recorded sound keeps at most the newest
    // this many whatever the frames (a ring), for a host that streams a
    // song of any length and whose frames may stop coming for a while (a
    // page in a hidden tab). Live sound keeps kLiveSeconds.
    double keepNewest = 0.0;
};

enum class TargetKind {
    kOffscreen,  // an offscreen context of the visualiser's own, of the job's size
    kShared,     // the process's one shared context (host/driver/shared_target.h), any size a frame
    kHost,       // the host's own (a window, a canvas): VisualiserDesc::makeTarget
};

struct VisualiserDesc {
    std::string plugin;  // the plug-in library's path
    TargetKind target = TargetKind::kOffscreen;
    // kHost: makes the target (and its GL context current) while the plug-in
    // starts; the host owns what it returns. Throws what it cannot make.
    std::function<FrameTarget*()> makeTarget;
    // kShared: the renderer whose textures the shared context is to share
    // (an OBS source's), or null.
    const ForeignContext* shareWith = nullptr;
    // The frames' size (an offscreen target's for good, a shared one's at first).
    int width = 1280;
    int height = 720;
};

class Visualiser {
public:
    explicit Visualiser(const VisualiserDesc& desc);
    ~Visualiser();  // Abort() unless finished; the plug-in released
    Visualiser(const Visualiser&) = delete;
    Visualiser& operator=(const Visualiser&) = delete;

    // --- sound ---------------------------------------------------------------
    // A sound of this format from now on, starting at its sample 0 (any
    // sound before is let go of). Throws HostError when outputs that take
    // the sound have already had some.
    void StartSound(const SoundDesc& sound);

    // `count` interleaved sample frames of the started sound. Any thread.
    void PushSound(const float* samples, int64_t count);
    void PushSilence(int64_t count);
    // Sound of a host that places it by time (a stream's buffers) belongs
    // at sample frame `at`: a gap of more than a hundredth of a second
    // before it is filled with silence, so later frames keep their places.
    // Returns how many sample frames from `at` are already there (an
    // overlap), for the host to pass over.
    int64_t FillGapTo(int64_t at);
    // A new segment or stream: the sound from sample frame `at` (a seek,
    // a stretch from part-way) on the same timeline, the analysis afresh.
    void Restart(int64_t at = 0);
    // Frames drawn from these levels in place of the sound's (the host data
    // silent) until null: levels replayed one frame at a time.
    void GiveLevels(const float* levels);

    bool hasSound() const;
    int sampleRate() const;                    // of the sound (0 before any)
    int64_t soundEnd() const;                  // the sample frame the next push lands at
    int64_t PositionAt(double seconds) const;  // the sample frame nearest a sound time
    double newestSoundTime() const { return sampleRate() ? double(soundEnd()) / sampleRate() : 0.0; }

    // --- when a frame is due --------------------------------------------------
    // Sample frames of sound held back before a frame is drawn: half an
    // analysis window for recorded sound (the window centred on the frame
    // is then whole), none for live sound.
    int64_t heldBack() const;
    // The frame at `soundTime` can be drawn from the sound there is.
    bool FrameDue(double soundTime) const;

    // --- frames ----------------------------------------------------------------
    // The size a shared target draws the next frames at.
    void SetSize(int width, int height);
    // One frame: its levels, drawn where the target shows frames.
    void Draw(const FrameTime& frame);
    // One frame read into the host's memory (a pushed buffer, an upload).
    void DrawInto(const FrameTime& frame, const PictureBuffer& into);
    // One frame drawn straight into `texture` of the renderer the shared
    // context shares (SharesTexturesWith()); done when this returns.
    void DrawIntoTexture(const FrameTime& frame, unsigned texture);
    bool SharesTexturesWith(const ForeignContext& renderer) const;
    // The plug-in's own description, valid while the visualiser lives.
    const PluginInfo& pluginInfo() const;
    // A frame not drawn (too late to show): its levels are taken all the
    // same, so the analysis keeps its pace.
    void Skip(const FrameTime& frame);
    // The sixteen levels of the last frame.
    const float* levels() const;
    int64_t framesDone() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The clock of pushed sound: frame k at k * fpsD / fpsN seconds of the
// sound (its sound time), its time for the plug-in `timeOrigin` on from
// there, given once it is due (Visualiser::FrameDue). At the end of the
// sound (SetEnding), every frame the sound covers is given (FrameCountFor),
// the rest reading as silence. A host whose sound comes on another thread
// (a capture) sets `waitFor`: called with the sound's end a frame needs, it
// waits for it and returns false to end the run.
class SoundClock {
public:
    SoundClock(const Visualiser& visualiser, int fpsN, int fpsD = 1)
        : visualiser_(visualiser), fpsN_(fpsN), fpsD_(fpsD) {}
    bool Next(FrameTime* frame);

    void SetEnding(bool ending) { ending_ = ending; }
    void SetTimeOrigin(double seconds) { timeOrigin_ = seconds; }
    void SetLimit(int64_t frames) { limit_ = frames; }
    void Restart() { next_ = 0; }
    void StartAt(int64_t frame) { next_ = frame; }
    int64_t next() const { return next_; }

    std::function<bool(int64_t soundEnd)> waitFor;

private:
    const Visualiser& visualiser_;
    int fpsN_, fpsD_;
    double timeOrigin_ = 0.0;
    bool ending_ = false;
    int64_t limit_ = INT64_MAX;
    int64_t next_ = 0;
};

#endif
