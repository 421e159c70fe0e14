// video_quality.h - the encoder's trade of speed against picture and size,
// as a user picks it (lumagrove-preview --quality).
//
// Each quality is a set of x264 settings, chosen from the bench's measurement
// on this project's 2-core machine (bench/pipeline_bench.cpp, the README's
// performance section): the speed of the whole render, and the SSIM of the
// video against the lossless frames it was made from.
#ifndef LUMAGROVE_VIDEO_QUALITY_H
#define LUMAGROVE_VIDEO_QUALITY_H

#include <string>
#include <vector>

struct VideoQuality {
    const char* name;    // "draft", "normal", "high"
    const char* preset;  // x264's -preset
    int crf;             // x264's constant rate factor: lower is better and larger
    const char* tune;    // x264's -tune, "" for none
};

// The qualities, fastest first.
const std::vector<VideoQuality>& VideoQualities();
const VideoQuality& DefaultVideoQuality();  // "normal"
// The quality of that name, or null.
const VideoQuality* FindVideoQuality(const std::string& name);

#endif
