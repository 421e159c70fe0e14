// analysis.h - the analysis stage: a window of the two sides' samples at a
// frame's time in, the frame's AudioBlock out.
//
// Every host feeds it the same way, whatever the sound comes from (a song, a
// live capture, a stream's buffers), so the same sound gives the same levels
// everywhere. What it computes (waveform, spectrum, band levels, the
// envelopes and the automatic gain) is in docs/analysis.md, the block's layout
// in host/analysis/audio_block.h.
//
// The data contract: `stereo` is windowFrames() sample frames of the two sides
// (left, right, left, right, ...: floats in [-1, 1]; host/base/channel_sides.h
// folds any channel layout into two sides), at sampleRate(). The waveform is
// taken around sample frame windowFrames() / 2, the window's middle: the
// frame's time for a song or a stream, whose window is centred on it (live
// sound's window ends at the frame's time). The samples are read during the call
// only. The analysis keeps the envelopes and the gain from frame to frame:
// `secondsSinceLast` is the time from the previous frame. The first frame, and
// the first after Restart(), start them afresh at that frame's amplitudes.
// Nothing is allocated per frame.
#ifndef LUMAGROVE_ANALYSIS_H
#define LUMAGROVE_ANALYSIS_H

#include <memory>

#include "plugin/plugin_interface.h"

class LevelAnalysis {
public:
    // Throws HostError (a failure) if the FFT cannot be set up.
    explicit LevelAnalysis(int sampleRate);
    ~LevelAnalysis();
    LevelAnalysis(const LevelAnalysis&) = delete;
    LevelAnalysis& operator=(const LevelAnalysis&) = delete;

    int sampleRate() const;
    int windowFrames() const;  // AnalysisWindowFrames(sampleRate())

    // The next frame starts the envelopes and the gain afresh (a seek, a flush).
    void Restart();
    // Fills all 10304 bytes of `block` for one frame.
    void Analyse(const float* stereo, double secondsSinceLast, AudioBlock* block);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif
