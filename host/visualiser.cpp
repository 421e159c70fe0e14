#include "host/visualiser.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <cmath>

#include "host/analysis/sound_levels.h"
// A page draws on its canvas: it has neither an offscreen nor a shared context.
#if !defined(__EMSCRIPTEN__)
#  define LUMAGROVE_OFFSCREEN 1
#  include "host/driver/offscreen_target.h"
#  include "host/driver/shared_target.h"
#else
#  define LUMAGROVE_OFFSCREEN 0
// Never made in a page; declared so the visualiser's shape is one.
class SharedTarget : public FrameTarget {
public:
    void SetSize(int, int) {}
    void DrawIntoTexture(unsigned) {}
};
#endif
#if LUMAGROVE_SOUND_SOURCES
#  include "host/audio/song_feed.h"
#endif

namespace {

// The host's own memory (DrawInto), lent for one frame; and the levels of
// every frame, for levels().
class HostPicture : public FrameSink {
public:
    bool TakesInPlace() const override { return true; }
    bool Wants(int64_t) const override { return pending; }
    PictureBuffer Lend(const FrameTime&) override { return into; }
    void Deliver(const FrameTime&) override { pending = false; }
    void TakeLevels(const FrameTime&, const float levels[16]) override { std::copy(levels, levels + 16, last); }

    PictureBuffer into;
    bool pending = false;
    float last[16] = {};
};

}  // namespace

struct Visualiser::Impl {
    // What the driver draws from: the analysis of the sound, a replay, or
    // (before either) the outline alone from a silent sound.
    class LevelsInUse : public LevelSource {
    public:
        explicit LevelsInUse(Impl& owner) : owner_(owner) {}
        double duration() const override { return owner_.levels ? owner_.levels->duration() : 0.0; }
        void Fill(const FrameTime& frame, AudioBlock* block) override {
            if (owner_.given) {
                memset(block->hostData, 0, sizeof block->hostData);
                std::copy(owner_.givenLevels, owner_.givenLevels + 16, block->levels);
                return;
            }
            if (!owner_.levels) owner_.Start(SoundDesc{});
            owner_.levels->Fill(frame, block);
        }

    private:
        Impl& owner_;
    };

    explicit Impl(const VisualiserDesc& d) : desc(d), inUse(*this) {}
    ~Impl() {
        driver.reset();  // aborts the outputs unless finished
        sharedTarget.reset();
#if LUMAGROVE_OFFSCREEN
        if (holdsShared) ReleaseRenderer();
#endif
        ownTarget.reset();  // its context goes before the plug-in that drew in it
        plugin.reset();
    }

    // The sound's store and its analysis, from scratch.
    void Start(const SoundDesc& sound) {
        if (driver && driver->TakesSound() && driver->framesDone() > 0)
            throw HostError(kExitFailure, "the sound cannot change once the outputs have taken some");
        const std::vector<ChannelSide> sides = sound.sides.empty() ? DefaultChannelSides(2) : sound.sides;
        const double keep = sound.mode == SoundMode::kLive ? kLiveSeconds : std::max(0.0, sound.keepNewest);
        const int64_t hold = static_cast<int64_t>(keep * sound.rate);
        Analyse(nullptr, SoundMode::kRecorded, false);  // nothing left reading the old store
        ownStore = std::make_unique<SampleStore>(sound.rate, sides, hold);
        Analyse(ownStore.get(), sound.mode, sound.mode == SoundMode::kRecorded && !sound.keepAll);
    }

    void Analyse(SampleStore* from, SoundMode how, bool discardBehind, SoundFeed* through = nullptr) {
        analysis.reset();
        replay.reset();
        levels = nullptr;
        if (!through) feed.reset();
        store = from;
        mode = how;
        if (driver) driver->TakeSoundFrom(store, through);
        if (!store) return;
        SoundLevelsDesc analysed;
        analysed.anchor = how == SoundMode::kLive ? WindowAnchor::kEnding : WindowAnchor::kCentred;
        analysed.feed = through;
        analysed.discardBehind = discardBehind;
        analysis = std::make_unique<SoundLevels>(*store, analysed);
        levels = analysis.get();
    }

    FrameDriver& Driver() { return *driver; }

    void DrawOne(const FrameTime& frame) {
        SingleFrameClock clock(frame);
        driver->Run(clock);
    }

    VisualiserDesc desc;
    std::unique_ptr<PluginLibrary> plugin;
    std::unique_ptr<FrameTarget> ownTarget;
    std::unique_ptr<SharedTarget> sharedTarget;
    bool holdsShared = false;
    FrameTarget* target = nullptr;

    std::unique_ptr<SampleStore> ownStore;
    SampleStore* store = nullptr;  // the own store, or one listened to
    SoundMode mode = SoundMode::kRecorded;
    std::unique_ptr<SoundFeed> feed;
    std::unique_ptr<SoundLevels> analysis;
    std::unique_ptr<LevelSource> replay;
    LevelSource* levels = nullptr;  // the analysis or the replay
    LevelsInUse inUse;
    bool given = false;  // givenLevels in place of the sound's
    float givenLevels[16] = {};
    HostPicture picture;
    std::unique_ptr<FrameDriver> driver;
};

Visualiser::Visualiser(const VisualiserDesc& desc) : impl_(std::make_unique<Impl>(desc)) {
    Impl& m = *impl_;
    const FrameJob& job = desc.job;
    try {
        if (desc.target == TargetKind::kShared) {
#if LUMAGROVE_OFFSCREEN
            AcquireRenderer(desc.plugin, desc.shareWith);
            m.holdsShared = true;
            m.sharedTarget = std::make_unique<SharedTarget>();
            m.sharedTarget->SetSize(job.width, job.height);
            m.target = m.sharedTarget.get();
#else
            throw HostError(kExitFailure, "a page draws on its canvas: it shares no context");
#endif
        } else {
            m.plugin = std::make_unique<PluginLibrary>(desc.plugin);
            StartPlugin(*m.plugin, [&]() -> FrameTarget* {
                if (desc.target == TargetKind::kHost) {
                    m.target = desc.makeTarget ? desc.makeTarget() : nullptr;
                    if (!m.target) throw HostError(kExitFailure, "the host made no frame target");
                    return m.target;
                }
#if !LUMAGROVE_OFFSCREEN
                throw HostError(kExitFailure, "a page draws on its canvas, not offscreen");
#else
                m.ownTarget = std::make_unique<OffscreenTarget>(job.width, job.height);
                m.target = m.ownTarget.get();
                return m.target;
#endif
            });
        }
    } catch (...) {
        for (FrameSink* output : desc.outputs) output->Abort();
        throw;
    }
    std::vector<FrameSink*> outputs = desc.outputs;
    outputs.push_back(&m.picture);
    m.driver = std::make_unique<FrameDriver>(job, *m.target, m.inUse, outputs, nullptr, desc.progress);
}

Visualiser::~Visualiser() = default;

void Visualiser::StartSound(const SoundDesc& sound) { impl_->Start(sound); }

void Visualiser::ListenTo(SampleStore& store, SoundMode mode) {
    impl_->Analyse(&store, mode, mode == SoundMode::kRecorded);
    impl_->ownStore.reset();
}

void Visualiser::FeedFrom(AudioSource& song) {
#if LUMAGROVE_SOUND_SOURCES
    Impl& m = *impl_;
    m.Start(SoundDesc{song.sampleRate(), song.sides(), SoundMode::kRecorded, false});
    m.feed = std::make_unique<SongFeed>(song, *m.ownStore);
    m.Analyse(m.ownStore.get(), SoundMode::kRecorded, true, m.feed.get());
#else
    (void)song;
    throw HostError(kExitFailure, "this build reads no song files");
#endif
}

void Visualiser::ReplayLevels(std::unique_ptr<LevelSource> levels) {
    Impl& m = *impl_;
    m.Analyse(nullptr, SoundMode::kRecorded, false);
    m.ownStore.reset();
    m.replay = std::move(levels);
    m.levels = m.replay.get();
}

void Visualiser::PushSound(const float* samples, int64_t count) {
    if (impl_->store) impl_->store->Push(samples, count);
}

void Visualiser::PushSilence(int64_t count) {
    if (impl_->store) impl_->store->PushSilence(count);
}

int64_t Visualiser::FillGapTo(int64_t at) {
    SampleStore* store = impl_->store;
    if (!store) return 0;
    const int64_t end = store->end(), tolerance = store->sampleRate() / 100;
    if (at - end > tolerance) store->PushSilence(at - end);
    return end - at > tolerance ? end - at : 0;
}

void Visualiser::Restart(int64_t at) {
    if (impl_->store) impl_->store->Restart(at);
    if (impl_->analysis) impl_->analysis->Restart();
}

void Visualiser::GiveLevels(const float* levels) {
    Impl& m = *impl_;
    m.given = levels != nullptr;
    if (!levels) return;
    for (int i = 0; i < 16; ++i) m.givenLevels[i] = std::isfinite(levels[i]) ? levels[i] : 0.0f;
}

bool Visualiser::hasSound() const { return impl_->store != nullptr; }

int Visualiser::sampleRate() const { return impl_->store ? impl_->store->sampleRate() : 0; }

int64_t Visualiser::soundEnd() const { return impl_->store ? impl_->store->end() : 0; }

double Visualiser::duration() const { return impl_->inUse.duration(); }

int64_t Visualiser::heldBack() const {
    const Impl& m = *impl_;
    return m.analysis && m.mode == SoundMode::kRecorded ? m.analysis->windowFrames() / 2 : 0;
}

int64_t Visualiser::PositionAt(double seconds) const { return impl_->store ? impl_->store->PositionAt(seconds) : 0; }

bool Visualiser::FrameDue(double soundTime) const {
    const SampleStore* store = impl_->store;
    return !store || store->PositionAt(soundTime) + heldBack() <= store->end();
}

void Visualiser::SetSize(int width, int height) {
    if (impl_->sharedTarget) impl_->sharedTarget->SetSize(width, height);
}

void Visualiser::Draw(const FrameTime& frame) { impl_->DrawOne(frame); }

void Visualiser::Run(FrameClock& clock) { impl_->driver->Run(clock); }

void Visualiser::DrawInto(const FrameTime& frame, const PictureBuffer& into) {
    Impl& m = *impl_;
    m.picture.into = into;
    m.picture.pending = true;
    try {
        m.DrawOne(frame);
    } catch (...) {
        m.picture.pending = false;
        throw;
    }
    m.picture.pending = false;
}

void Visualiser::DrawIntoTexture(const FrameTime& frame, unsigned texture) {
    Impl& m = *impl_;
    if (!m.sharedTarget) throw HostError(kExitFailure, "only the shared context draws into a renderer's texture");
    m.sharedTarget->DrawIntoTexture(texture);
    try {
        m.DrawOne(frame);
    } catch (...) {
        m.sharedTarget->DrawIntoTexture(0);
        throw;
    }
    m.sharedTarget->DrawIntoTexture(0);
}

bool Visualiser::SharesTexturesWith(const ForeignContext& renderer) const {
#if LUMAGROVE_OFFSCREEN
    return impl_->sharedTarget && RendererSharesWith(renderer);
#else
    (void)renderer;
    return false;
#endif
}

const PluginInfo& Visualiser::pluginInfo() const {
#if LUMAGROVE_OFFSCREEN
    if (impl_->holdsShared) return RendererPluginInfo();
#endif
    return impl_->plugin->info();
}

void Visualiser::Skip(const FrameTime& frame) { impl_->DrawOne(frame); }

const float* Visualiser::levels() const { return impl_->picture.last; }

int64_t Visualiser::framesDone() const { return impl_->driver->framesDone(); }

void Visualiser::Finish() { impl_->driver->Finish(); }

void Visualiser::Abort() noexcept { impl_->driver->Abort(); }

#if LUMAGROVE_SOUND_SOURCES
void WriteWavFile(const std::string& path, AudioSource& song) {
    WavWriter wav(path, song.sampleRate(), song.channels());
    const int64_t chunk = 16384;
    std::vector<float> samples(static_cast<size_t>(chunk * song.channels()));
    for (int64_t at = 0; at < song.frameCount(); at += chunk) {
        const int64_t n = std::min(chunk, song.frameCount() - at);
        song.Read(at, n, samples.data());
        wav.Append(samples.data(), n);
    }
    wav.Finish();
}
#endif

bool SoundClock::Next(FrameTime* frame) {
    if (next_ >= limit_) return false;
    const double since = static_cast<double>(next_ * fpsD_) / fpsN_;
    if (ending_) {
        if (!visualiser_.hasSound()) return false;
        const double seconds = static_cast<double>(visualiser_.soundEnd()) / visualiser_.sampleRate();
        if (next_ >= FrameCountFor(seconds, fpsN_, fpsD_)) return false;
    } else if (waitFor) {
        if (!waitFor(visualiser_.PositionAt(since) + visualiser_.heldBack())) return false;
    } else if (!visualiser_.FrameDue(since)) {
        return false;
    }
    frame->index = next_++;
    frame->soundTime = since;
    frame->time = timeOrigin_ + since;
    return true;
}
