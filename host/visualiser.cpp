#include "host/visualiser.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <cmath>

#include "host/analysis/sound_levels.h"
#include "host/driver/frame_driver.h"
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

struct Visualiser::Impl {
    // What the driver draws from: levels given, the analysis of the sound,
    // or (before any) the outline alone from a silent sound.
    class LevelsInUse : public LevelSource {
    public:
        explicit LevelsInUse(Impl& owner) : owner_(owner) {}
        double duration() const override { return owner_.analysis ? owner_.analysis->duration() : 0.0; }
        void Fill(const FrameTime& frame, AudioBlock* block) override {
            if (owner_.given) {
                memset(block->hostData, 0, sizeof block->hostData);
                std::copy(owner_.givenLevels, owner_.givenLevels + 16, block->levels);
                return;
            }
            if (!owner_.analysis) owner_.Start(SoundDesc{});
            owner_.analysis->Fill(frame, block);
        }

    private:
        Impl& owner_;
    };

    explicit Impl(const VisualiserDesc& d) : desc(d), inUse(*this) {}
    ~Impl() {
        driver.reset();
        sharedTarget.reset();
#if LUMAGROVE_OFFSCREEN
        if (holdsShared) ReleaseRenderer();
#endif
        ownTarget.reset();  // its context goes before the plug-in that drew in it
        plugin.reset();
    }

    // The sound's store and its analysis, from scratch.
    void Start(const SoundDesc& sound) {
        const std::vector<ChannelSide> sides = sound.sides.empty() ? DefaultChannelSides(2) : sound.sides;
        const double keep = sound.mode == SoundMode::kLive ? kLiveSeconds : std::max(0.0, sound.keepNewest);
        const int64_t hold = static_cast<int64_t>(keep * sound.rate);
        analysis.reset();  // nothing left reading the old store
        store = std::make_unique<SampleStore>(sound.rate, sides, hold);
        mode = sound.mode;
        SoundLevelsDesc analysed;
        analysed.anchor = mode == SoundMode::kLive ? WindowAnchor::kEnding : WindowAnchor::kCentred;
        analysed.discardBehind = mode == SoundMode::kRecorded && !sound.keepAll;
        analysis = std::make_unique<SoundLevels>(*store, analysed);
    }

    void DrawOne(const FrameTime& frame, const PictureBuffer* into = nullptr) { driver->Draw(frame, into); }

    VisualiserDesc desc;
    std::unique_ptr<PluginLibrary> plugin;
    std::unique_ptr<FrameTarget> ownTarget;
    std::unique_ptr<SharedTarget> sharedTarget;
    bool holdsShared = false;
    FrameTarget* target = nullptr;

    std::unique_ptr<SampleStore> store;
    SoundMode mode = SoundMode::kRecorded;
    std::unique_ptr<SoundLevels> analysis;
    LevelsInUse inUse;
    bool given = false;  // givenLevels in place of the sound's
    float givenLevels[16] = {};
    std::unique_ptr<FrameDriver> driver;
};

Visualiser::Visualiser(const VisualiserDesc& desc) : impl_(std::make_unique<Impl>(desc)) {
    Impl& m = *impl_;
    if (desc.target == TargetKind::kShared) {
#if LUMAGROVE_OFFSCREEN
        AcquireRenderer(desc.plugin, desc.shareWith);
        m.holdsShared = true;
        m.sharedTarget = std::make_unique<SharedTarget>();
        m.sharedTarget->SetSize(desc.width, desc.height);
        m.target = m.sharedTarget.get();
#else
        throw HostError(Fault::kFailure, "a page draws on its canvas: it shares no context");
#endif
    } else {
        m.plugin = std::make_unique<PluginLibrary>(desc.plugin);
        StartPlugin(*m.plugin, [&]() -> FrameTarget* {
            if (desc.target == TargetKind::kHost) {
                m.target = desc.makeTarget ? desc.makeTarget() : nullptr;
                if (!m.target) throw HostError(Fault::kFailure, "the host made no frame target");
                return m.target;
            }
#if !LUMAGROVE_OFFSCREEN
            throw HostError(Fault::kFailure, "a page draws on its canvas, not offscreen");
#else
            m.ownTarget = std::make_unique<OffscreenTarget>(desc.width, desc.height);
            m.target = m.ownTarget.get();
            return m.target;
#endif
        });
    }
    m.driver = std::make_unique<FrameDriver>(*m.target, m.inUse);
}

Visualiser::~Visualiser() = default;

void Visualiser::StartSound(const SoundDesc& sound) { impl_->Start(sound); }

void Visualiser::PushSound(const float* samples, int64_t count) {
    if (impl_->store) impl_->store->Push(samples, count);
}

void Visualiser::PushSilence(int64_t count) {
    if (impl_->store) impl_->store->PushSilence(count);
}

int64_t Visualiser::FillGapTo(int64_t at) {
    SampleStore* store = impl_->store.get();
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

int64_t Visualiser::heldBack() const {
    const Impl& m = *impl_;
    return m.analysis && m.mode == SoundMode::kRecorded ? m.analysis->windowFrames() / 2 : 0;
}

int64_t Visualiser::PositionAt(double seconds) const { return impl_->store ? impl_->store->PositionAt(seconds) : 0; }

bool Visualiser::FrameDue(double soundTime) const {
    const SampleStore* store = impl_->store.get();
    return !store || store->PositionAt(soundTime) + heldBack() <= store->end();
}

void Visualiser::SetSize(int width, int height) {
    if (impl_->sharedTarget) impl_->sharedTarget->SetSize(width, height);
}

void Visualiser::Draw(const FrameTime& frame) { impl_->DrawOne(frame); }

void Visualiser::DrawInto(const FrameTime& frame, const PictureBuffer& into) { impl_->DrawOne(frame, &into); }

void Visualiser::DrawIntoTexture(const FrameTime& frame, unsigned texture) {
    Impl& m = *impl_;
    if (!m.sharedTarget) throw HostError(Fault::kFailure, "only the shared context draws into a renderer's texture");
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

void Visualiser::Skip(const FrameTime& frame) { impl_->driver->TakeLevels(frame); }

const float* Visualiser::levels() const { return impl_->driver->levels(); }

int64_t Visualiser::framesDone() const { return impl_->driver->framesDone(); }

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
