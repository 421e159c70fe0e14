// progress.h - the progress report on stderr while frames are rendered.
//
// On a terminal: one bar redrawn in place at most ten times a second,
//   [###########.........]  412/1200 frames  87.3 fps  0:09 left
// Otherwise (a log, a pipe): the same figures as a plain line every few
// seconds. Silent with --quiet. Rates are over the whole run so far, on the
// wall clock (which the frames themselves never see).
#ifndef LUMAGROVE_PROGRESS_H
#define LUMAGROVE_PROGRESS_H

#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <string>

#include "hosts/preview/job_plan.h"
#include "toolbox/toolbox.h"

class ProgressMeter : public FrameProgress {
public:
    enum Mode { kSilent, kBar, kLines };
    // kBar when stderr is a terminal, kLines otherwise, kSilent when quiet.
    static Mode ModeFor(bool quiet);

    ProgressMeter(int64_t total, Mode mode, FILE* out = stderr, double lineSeconds = 5.0);
    ~ProgressMeter() override;  // Abandon()

    void Update(int64_t done) override;
    // The final report: the full bar, or a closing line, with the frames done.
    void Finish() override;
    // Ends a half-drawn bar so that a message after it starts on a line of its own.
    void Abandon() noexcept override;

    // The figures of one report, without any bar: "412/1200 frames  87.3 fps  0:09 left".
    std::string Figures(int64_t done, double elapsedSeconds) const;

private:
    using Clock = std::chrono::steady_clock;
    double Elapsed() const;

    int64_t total_;
    int64_t done_ = 0;  // as last reported by Update()
    Mode mode_;
    FILE* out_;
    double lineSeconds_;
    Clock::time_point start_;
    double lastReport_ = -1.0;
    bool barOpen_ = false;  // a bar line is on screen without its newline
};

#endif
