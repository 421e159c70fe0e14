// audio_block.h - what every host puts in the AudioBlock it hands the
// plug-in each frame, and how those numbers are made from the sound.
//
// Layout of the 10304-byte AudioBlock (floats are IEEE single precision in the
// machine's byte order; "left" and "right" are the two sides the sound's
// channels are folded into, host/base/channel_sides.h: a mono song fills both
// alike):
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
//   waveform  The 512 samples of the side at the middle of the analysis
//             window, at the sound's own rate: for a song or a stream, whose
//             window is centred on the frame's time t, sample i is at position
//             round(t * rate) - 256 + i; for live sound, whose window ends at
//             t, they are centred half a window (N / 2) before t. Where there
//             is no sound (before the start, past the end) it is 0.
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
// How the numbers are made from the sound (the window, the FFT, the bands,
// silence, the envelopes, the tilt and the gain) is in docs/analysis.md.
// Every level is finite and within [0, kLevelCap] whatever the input: the
// sample store makes samples finite and within [-1, 1] first.
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

constexpr int kBands = 8;  // per side; levels[side * 8 + band]
constexpr double kLowestBandHz = 40.0;
constexpr double kHighestBandHz = 16000.0;
constexpr double kWindowSeconds = 1.0 / 12;     // the shortest window
constexpr float kSilentAmplitude = 3.1623e-5f;  // -90 dBFS
constexpr double kAttackSeconds = 0.010;
constexpr double kReleaseSeconds = 0.200;
constexpr double kGainReleaseSeconds = 4.0;
constexpr float kGainFloor = 0.01f;  // in weighted amplitude
constexpr float kLevelTarget = 0.4f;
constexpr float kLevelCap = 0.5f;

struct HostAudioData {
    float waveform[2][kWaveformSamples];  // [side][sample]
    float spectrum[2][kSpectrumPoints];   // [side][point]
};
static_assert(sizeof(HostAudioData) == sizeof(AudioBlock::hostData), "host data fills the bytes before levels");
static_assert(offsetof(AudioBlock, hostData) == 0, "host data starts the block");

// Copies host data into / out of a block (by bytes: hostData is a byte array).
inline void StoreHostData(const HostAudioData& data, AudioBlock* block) { memcpy(block->hostData, &data, sizeof data); }
inline void LoadHostData(const AudioBlock& block, HostAudioData* data) { memcpy(data, block.hostData, sizeof *data); }

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
