// The analysis, frame by frame: waveform, spectrum and band levels as
// host/analysis/audio_block.h describes them.
#include "host/analysis/analysis.h"

#include <math.h>

#include <algorithm>
#include <vector>

#include "host/analysis/audio_block.h"
#include "host/analysis/real_fft.h"
#include "host/base/host_error.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// How one spectrum point is read off the bins: the largest of bins
// [first, last], or, when first > last, interpolated between bins `below` and
// below + 1 with `fraction` of the way to the second.
struct SpectrumTap {
    int first, last;
    int below;
    float fraction;
};

}  // namespace

struct LevelAnalysis::Impl {
    explicit Impl(int sampleRate)
        : rate_(sampleRate), n_(AnalysisWindowFrames(sampleRate)), fft_(n_), window_(n_), in_(n_), power_(n_ / 2 + 1) {
        for (int i = 0; i < n_; ++i) window_[i] = static_cast<float>(0.5 - 0.5 * cos(2 * kPi * i / n_));
        AssignBands();
        AssignSpectrum();
    }
    void Analyse(const float* stereo, double secondsSinceLast, AudioBlock* block) {
        stereo_ = stereo;
        const bool fresh = !started_;
        const double dt = fresh ? 0.0 : secondsSinceLast;
        const float attack = static_cast<float>(1 - exp(-dt / kAttackSeconds));
        const float release = static_cast<float>(1 - exp(-dt / kReleaseSeconds));
        float loudest = 0;
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i < kWaveformSamples; ++i)
                data_.waveform[side][i] = stereo_[2 * (n_ / 2 - kWaveformSamples / 2 + i) + side];
            Transform(side);
            ReadSpectrum(data_.spectrum[side]);
            for (int b = 0; b < kBands; ++b) {
                const float amplitude = BandAmplitude(b);
                float& e = envelope_[side * kBands + b];
                if (fresh) e = amplitude;
                else e += (amplitude - e) * (amplitude > e ? attack : release);
                if (!(e >= kSilentAmplitude)) e = 0;  // also catches NaN
                loudest = std::max(loudest, e * weight_[b]);
            }
        }
        const float peakDecay = fresh ? 0.0f : static_cast<float>(exp(-dt / kGainReleaseSeconds));
        peak_ = std::max({peak_ * peakDecay, loudest, kGainFloor});
        const float gain = kLevelTarget / peak_;
        for (int i = 0; i < 2 * kBands; ++i)
            block->levels[i] = std::min(kLevelCap, envelope_[i] * weight_[i % kBands] * gain);
        StoreHostData(data_, block);
        started_ = true;
        stereo_ = nullptr;
    }

    // Bins to bands, the band weights and the amplitude scale.
    void AssignBands() {
        for (int b = 0; b < kBands; ++b) {
            const double low = BandEdgeHz(b), high = BandEdgeHz(b + 1);
            bandFirst_[b] = std::max(1, static_cast<int>(ceil(low * n_ / rate_)));
            bandLast_[b] = std::min(n_ / 2 - 1, static_cast<int>(ceil(high * n_ / rate_)) - 1);
            weight_[b] = static_cast<float>(sqrt(sqrt(low * high) / 1000.0));
        }
        bandScale_ = 32.0f / (3.0f * float(n_) * float(n_));
    }

    void AssignSpectrum() {
        const double binHz = double(rate_) / n_;
        const double step = pow(kSpectrumHighHz / kSpectrumLowHz, 1.0 / (kSpectrumPoints - 1));
        const double halfStep = sqrt(step);
        for (int i = 0; i < kSpectrumPoints; ++i) {
            const double hz = SpectrumPointHz(i);
            SpectrumTap& tap = taps_[i];
            tap.first = static_cast<int>(ceil(hz / halfStep / binHz));
            tap.last = std::min(n_ / 2, static_cast<int>(ceil(hz * halfStep / binHz)) - 1);
            const double bin = hz / binHz;
            tap.below = std::min(n_ / 2, static_cast<int>(floor(bin)));
            tap.fraction = tap.below < n_ / 2 ? static_cast<float>(bin - tap.below) : 0.0f;
            if (hz >= rate_ / 2.0) tap.below = -1;  // above the top: 0
        }
        binScale_ = 4.0f / float(n_);
    }

    // Windowed FFT of one side of the window into power_.
    void Transform(int side) {
        for (int i = 0; i < n_; ++i) in_[i] = stereo_[2 * i + side] * window_[i];
        fft_.Power(in_.data(), power_.data());
    }

    float BandAmplitude(int band) const {
        double sum = 0;
        for (int k = bandFirst_[band]; k <= bandLast_[band]; ++k) sum += power_[k];
        const float amplitude = static_cast<float>(sqrt(sum * bandScale_));
        return amplitude >= kSilentAmplitude ? amplitude : 0.0f;
    }

    void ReadSpectrum(float* points) const {
        for (int i = 0; i < kSpectrumPoints; ++i) {
            const SpectrumTap& tap = taps_[i];
            float value = 0;
            if (tap.below < 0) {
                value = 0;
            } else if (tap.first <= tap.last) {
                for (int k = tap.first; k <= tap.last; ++k) value = std::max(value, power_[k]);
                value = sqrtf(value);
            } else {
                const float a = sqrtf(power_[tap.below]);
                const float b = tap.below < n_ / 2 ? sqrtf(power_[tap.below + 1]) : 0.0f;
                value = a + (b - a) * tap.fraction;
            }
            points[i] = value * binScale_;
        }
    }

    const int rate_;
    const int n_;
    RealFft fft_;
    const float* stereo_ = nullptr;  // the window being analysed: left, right, left, ...
    std::vector<float> window_;      // Hann
    std::vector<float> in_;          // one side, windowed
    std::vector<float> power_;       // |bin|^2, 0 .. N/2

    int bandFirst_[kBands], bandLast_[kBands];
    float weight_[kBands];
    float bandScale_ = 0;
    SpectrumTap taps_[kSpectrumPoints];
    float binScale_ = 0;

    HostAudioData data_ = {};
    float envelope_[2 * kBands] = {};
    float peak_ = kGainFloor;
    bool started_ = false;
};

LevelAnalysis::LevelAnalysis(int sampleRate) : impl_(std::make_unique<Impl>(sampleRate)) {}
LevelAnalysis::~LevelAnalysis() = default;

int LevelAnalysis::sampleRate() const { return impl_->rate_; }
int LevelAnalysis::windowFrames() const { return impl_->n_; }
void LevelAnalysis::Restart() { impl_->started_ = false; }

void LevelAnalysis::Analyse(const float* stereo, double secondsSinceLast, AudioBlock* block) {
    impl_->Analyse(stereo, secondsSinceLast, block);
}
