// The built-in demo piece: twenty seconds at 120 beats a minute, ten bars of
// A minor - F - C - G, with a kick on every beat, a bass on the off-beat
// eighths, hi-hats on the sixteenths (accented off the beat, open at the end of
// each bar) and a chord pad. Every sample is a closed-form function of its
// position (the hats' noise is a hash of the sample index), so any block can
// be made on its own, in any order, and always comes out the same.
#include "toolbox/audio/demo_song.h"

#include <math.h>
#include <stdint.h>

#include <algorithm>
#include <string>

#include "toolbox/audio/streamed_source.h"

namespace {

constexpr int kRate = 48000;
constexpr double kBeat = 0.5;  // seconds: 120 beats a minute
constexpr double kBar = 4 * kBeat;
constexpr int kBars = 10;
constexpr double kLength = kBars * kBar;  // 20 s
constexpr double kTwoPi = 6.283185307179586;

// Chords, as MIDI notes, one a bar; the bass plays each chord's root.
constexpr int kChords[4][3] = {{69, 72, 76}, {65, 69, 72}, {67, 72, 76}, {67, 71, 74}};  // Am F C/G G
constexpr int kBassRoots[4] = {45, 41, 48, 43};                                          // A2 F2 C3 G2

double NoteHz(int midi) { return 440.0 * pow(2.0, (midi - 69) / 12.0); }

// Angle of a tone of `hz` at time `t`, taken modulo one cycle first so that
// precision does not fall with time.
double Phase(double hz, double t) {
    const double cycles = hz * t;
    return kTwoPi * (cycles - floor(cycles));
}

// White noise in [-1, 1) from the sample index (splitmix64).
double Noise(int64_t index) {
    uint64_t z = static_cast<uint64_t>(index) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// 0 at x <= 0, 1 at x >= 1, smooth between.
double Smooth(double x) {
    x = std::min(1.0, std::max(0.0, x));
    return x * x * (3 - 2 * x);
}

// A kick: a sine sweeping down from 105 Hz to 50 Hz, with a short click.
double Kick(double tau, int64_t index) {
    const double sweep = 0.02;
    const double phase = kTwoPi * (50.0 * tau + 55.0 * sweep * (1.0 - exp(-tau / sweep)));
    const double body = sin(phase) * exp(-tau / 0.14) * Smooth((kBeat - tau) / 0.05);
    return 0.75 * body + 0.08 * Noise(index) * exp(-tau / 0.003);
}

// One bar's notes in Hz.
struct Harmony {
    double bassHz;
    double chordHz[3];
};

// A bass note on the off-beat eighth: a few harmonics of the root, plucked.
double Bass(double t, double tauInBeat, double hz) {
    const double tau = tauInBeat - kBeat / 2;
    if (tau < 0) return 0;
    const double p = Phase(hz, t);
    const double s = sin(p), c = cos(p);
    const double s2 = 2 * s * c, s3 = s * (3 - 4 * s * s), s4 = 2 * s2 * (1 - 2 * s * s);
    const double envelope = Smooth(tau / 0.005) * exp(-tau / 0.18) * Smooth((kBeat / 2 - tau) / 0.01);
    return 0.14 * envelope * (s + 0.5 * s2 + 0.3 * s3 + 0.15 * s4);
}

// Hi-hat on the sixteenth: high-passed noise with a short decay; the last
// off-beat of each bar is left open.
double Hat(double tauInSixteenth, int sixteenth, int64_t index) {
    const bool offBeat = sixteenth % 4 == 2;
    const bool open = sixteenth == 14;
    const double decay = open ? 0.12 : 0.025;
    const double gain = open ? 0.1 : offBeat ? 0.14 : 0.05;
    const double highPassed = 0.5 * (Noise(index) - Noise(index - 1));
    return gain * highPassed * exp(-tauInSixteenth / decay);
}

// The chord pad for one side: each note from two slightly detuned voices with
// a second and third harmonic, swelling in each bar and breathing on the
// eighths.
double Pad(double t, double tauInBar, const Harmony& harmony, double detune) {
    double sum = 0;
    for (double hz : harmony.chordHz) {
        for (double d : {1.0 + detune, 1.0 - 0.5 * detune}) {
            const double p = Phase(hz * d, t);
            const double s = sin(p), c = cos(p);
            sum += s + 0.35 * 2 * s * c + 0.2 * s * (3 - 4 * s * s);
        }
    }
    const double swell = Smooth(tauInBar / 0.3) * Smooth((kBar - tauInBar) / 0.2);
    const double breath = 0.75 + 0.25 * cos(kTwoPi * tauInBar / (kBeat / 2));
    return 0.03 * sum * swell * breath;
}

class DemoSong : public StreamedSource {
public:
    DemoSong() : StreamedSource(kRate, 2, static_cast<int64_t>(kLength * kRate)) {
        for (int i = 0; i < 4; ++i) {
            harmony_[i].bassHz = NoteHz(kBassRoots[i]);
            for (int n = 0; n < 3; ++n) harmony_[i].chordHz[n] = NoteHz(kChords[i][n]);
        }
    }

protected:
    void Decode(int64_t start, int64_t count, float* out) override {
        for (int64_t i = start; i < start + count; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const int bar = std::min(kBars - 1, static_cast<int>(t / kBar));
            const double tauInBar = t - bar * kBar;
            const int beat = std::min(3, static_cast<int>(tauInBar / kBeat));
            const double tauInBeat = tauInBar - beat * kBeat;
            const int sixteenth = std::min(15, static_cast<int>(tauInBar / (kBeat / 4)));
            const double tauInSixteenth = tauInBar - sixteenth * (kBeat / 4);

            const Harmony& harmony = harmony_[bar % 4];
            const double centre = Kick(tauInBeat, i) + Bass(t, tauInBeat, harmony.bassHz);
            const double hat = Hat(tauInSixteenth, sixteenth, i);
            const double fade = Smooth(t / 0.02) * Smooth((kLength - t) / 1.5);
            const double left = centre + 0.75 * hat + Pad(t, tauInBar, harmony, 0.002);
            const double right = centre + hat + Pad(t, tauInBar, harmony, -0.002);
            *out++ = static_cast<float>(tanh(left) * fade);
            *out++ = static_cast<float>(tanh(right) * fade);
        }
    }

private:
    Harmony harmony_[4];
};

}  // namespace

std::unique_ptr<AudioSource> MakeDemoSong() { return std::make_unique<DemoSong>(); }
