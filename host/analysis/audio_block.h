// audio_block.h - what every host puts in the AudioBlock it hands the
// plug-in each frame, and how those numbers are made from the sound.
//
// Layout of the 10304-byte AudioBlock (floats are IEEE single precision in the
// machine's byte order; "left" and "right" are the two sides of
// AudioSource::channelSide(): a mono song fills both alike):
//
//   bytes     0 ..  2047  waveform[0][512]   left side, samples in [-1, 1]
//   bytes  2048 ..  4095  waveform[1][512]   right side
//   bytes  4096 ..  7167  spectrum[0][768]   left side, linear amplitude >= 0
//   bytes  7168 .. 10239  spectrum[1][768]   right side
//   bytes 10240 .. 10303  levels[16]         0..7 left bands, 8..15 right bands
//
// The first 10240 bytes are HostAudioData below; `levels` is declared by
// plugin/plugin_interface.h and is all the plug-in reads.
//
//   waveform  The 512 samples of the side centred on the frame's time t:
//             sample i is at position round(t * rate) - 256 + i, at the song's
//             own rate; before the start and past the end it is 0.
//   spectrum  768 points at log-spaced frequencies from 20 Hz to 20 kHz
//             (point i at 20 * 1000^(i / 767) Hz, about 77 points an octave).
//             A point is the largest FFT bin amplitude within half a step
//             either side of it, or where no bin lies that close (low
//             frequencies), the amplitude interpolated between the two
//             nearest bins. Amplitude is linear: a full-scale sine centred on
//             a bin reads 1. Points above half the sample rate read 0. Raw: no
//             gain, attack or release.
//   levels    The eight band levels of each side, as described below.
//
// The analysis, for the frame at time t and each side:
//   Window    N samples centred on round(t * rate) (N/2 before it), where N is
//             the smallest power of two covering 1/12 s, and at least 512
//             (4096 at 44.1 and 48 kHz, 1024 at 8 kHz, 16384 at 192 kHz): bins
//             8 to 12 Hz apart, fine enough that a 60 Hz tone stays in the
//             40-85 Hz band, and a window of 85 to 128 ms, short enough to
//             follow a beat. Periodic Hann window; one real FFT (FFTW, single
//             precision, planned once with FFTW_ESTIMATE so that every run
//             computes the same numbers).
//   Bands     Eight bands with log-spaced edges from 40 Hz to 16 kHz, edge k at
//             40 * 400^(k / 8) Hz (40, 84.6, 179, 378, 800, 1692, 3578, 7566,
//             16000). Bin k (at k * rate / N Hz, 1 <= k < N/2) belongs to the
//             band whose edges hold it. A band's amplitude is
//             sqrt(32 / (3 N^2) * sum of |bin|^2): the amplitude of a sine of
//             the same power, so a full-scale sine reads about 1. Where a band
//             reaches past half the sample rate (8 kHz audio) it keeps the
//             bins below; a band wholly above it stays 0.
//   Silence   A band amplitude below kSilentAmplitude (-90 dBFS, about one
//             step of 16-bit sound) counts as 0.
//   Envelope  Each band follows its amplitude with a fast attack
//             (kAttackSeconds) and a slower release (kReleaseSeconds): per
//             frame, e += (a - e) * (1 - exp(-dt / tau)), with dt the time since
//             the last frame. An envelope that falls below kSilentAmplitude is
//             0, so silence gives exactly 0. The first frame, and a frame whose
//             time goes back, start the envelopes (and the gain) afresh at the
//             amplitudes.
//   Tilt      Each envelope is weighted by sqrt(centre / 1 kHz) of its band
//             (+3 dB an octave): music's spectrum falls by about that much
//             against the equal energy per octave of pink noise, so the high
//             bands get a share of the range. Weights run 0.24 to 3.3.
//   Gain      One automatic gain for all sixteen: a peak follower takes the
//             largest weighted envelope at once and lets go with
//             kGainReleaseSeconds; it never goes under kGainFloor, so a faint
//             song is not pumped up to full size. level = weighted * kLevelTarget
//             / peak, at most kLevelCap. The loudest band of the moment
//             reaches kLevelTarget and the others keep their proportions (a
//             sine lights its band, not its neighbours; one side sounding
//             lights that side alone).
// Every level is finite and within [0, kLevelCap] whatever the input: the
// audio source makes samples finite and within [-1, 1] first.
#ifndef LUMAGROVE_AUDIO_BLOCK_H
#define LUMAGROVE_AUDIO_BLOCK_H

#include <math.h>
#include <stddef.h>
#include <string.h>

#include "plugin/plugin_interface.h"

constexpr int kWaveformSamples = 512;
constexpr int kSpectrumPoints = 768;
constexpr double kSpectrumLowHz = 20.0;
constexpr double kSpectrumHighHz = 20000.0;

constexpr int kBands = 8;                      // per side; levels[side * 8 + band]
constexpr double kLowestBandHz = 40.0;
constexpr double kHighestBandHz = 16000.0;
constexpr double kWindowSeconds = 1.0 / 12;    // the shortest window
constexpr float kSilentAmplitude = 3.1623e-5f; // -90 dBFS
constexpr double kAttackSeconds = 0.010;
constexpr double kReleaseSeconds = 0.200;
constexpr double kGainReleaseSeconds = 4.0;
constexpr float kGainFloor = 0.01f;            // in weighted amplitude
constexpr float kLevelTarget = 0.4f;
constexpr float kLevelCap = 0.5f;

struct HostAudioData {
    float waveform[2][kWaveformSamples];  // [side][sample]
    float spectrum[2][kSpectrumPoints];   // [side][point]
};
static_assert(sizeof(HostAudioData) == sizeof(AudioBlock::hostData), "host data fills the bytes before levels");
static_assert(offsetof(AudioBlock, hostData) == 0, "host data starts the block");

// Copies host data into / out of a block (by bytes: hostData is a byte array).
inline void StoreHostData(const HostAudioData& data, AudioBlock* block) {
    memcpy(block->hostData, &data, sizeof data);
}
inline void LoadHostData(const AudioBlock& block, HostAudioData* data) {
    memcpy(data, block.hostData, sizeof *data);
}

// Band edge k (0..8) in Hz.
inline double BandEdgeHz(int k) { return kLowestBandHz * pow(kHighestBandHz / kLowestBandHz, k / double(kBands)); }

// The frequency of spectrum point i (0..767) in Hz.
inline double SpectrumPointHz(int i) {
    return kSpectrumLowHz * pow(kSpectrumHighHz / kSpectrumLowHz, i / double(kSpectrumPoints - 1));
}

// FFT size for a sample rate: the smallest power of two of at least
// kWindowSeconds, and at least the waveform's 512 samples.
inline int AnalysisWindowFrames(int sampleRate) {
    int n = kWaveformSamples;
    while (n < sampleRate * kWindowSeconds && n < (1 << 20)) n *= 2;
    return n;
}

#endif
