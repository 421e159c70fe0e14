#include "hosts/preview/progress.h"

#include <algorithm>

#ifdef _WIN32
#  include <io.h>
#  define LUMAGROVE_ISATTY(f) _isatty(_fileno(f))
#else
#  include <unistd.h>
#  define LUMAGROVE_ISATTY(f) isatty(fileno(f))
#endif

namespace {

const int kBarWidth = 24;
const double kBarInterval = 0.1;

}  // namespace

ProgressMeter::Mode ProgressMeter::ModeFor(bool quiet) {
    if (quiet) return kSilent;
    return LUMAGROVE_ISATTY(stderr) ? kBar : kLines;
}

ProgressMeter::ProgressMeter(int64_t total, Mode mode, FILE* out, double lineSeconds)
    : total_(std::max<int64_t>(total, 1)), mode_(mode), out_(out), lineSeconds_(lineSeconds), start_(Clock::now()) {}

ProgressMeter::~ProgressMeter() { Abandon(); }

double ProgressMeter::Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

std::string ProgressMeter::Figures(int64_t done, double elapsed) const {
    const double fps = elapsed > 0 ? done / elapsed : 0.0;
    char text[128];
    const std::string left = fps > 0 ? ClockText((total_ - done) / fps, 0) : "-:--";
    snprintf(text, sizeof text, "%lld/%lld frames  %.1f fps  %s left", static_cast<long long>(done),
             static_cast<long long>(total_), fps, left.c_str());
    return text;
}

void ProgressMeter::Update(int64_t done) {
    done_ = done;
    if (mode_ == kSilent) return;
    const double now = Elapsed();
    if (lastReport_ >= 0 && now - lastReport_ < (mode_ == kBar ? kBarInterval : lineSeconds_)) return;
    if (lastReport_ < 0 && mode_ == kLines) {
        lastReport_ = now;  // the first line comes after one interval, not at frame 1
        return;
    }
    lastReport_ = now;
    if (mode_ == kLines) {
        fprintf(out_, "%s\n", Figures(done, now).c_str());
        return;
    }
    const int filled = static_cast<int>(kBarWidth * std::min<int64_t>(done, total_) / total_);
    fprintf(out_, "\r[%s%s]  %s\033[K", std::string(filled, '#').c_str(), std::string(kBarWidth - filled, '.').c_str(),
            Figures(done, now).c_str());
    fflush(out_);
    barOpen_ = true;
}

void ProgressMeter::Finish() {
    if (mode_ == kSilent) return;
    const double elapsed = Elapsed();
    char text[128];
    snprintf(text, sizeof text, "%lld frames in %s (%.1f fps)", static_cast<long long>(done_),
             ClockText(elapsed, 1).c_str(), elapsed > 0 ? done_ / elapsed : 0.0);
    if (mode_ == kBar) fprintf(out_, "\r[%s]  %s\033[K\n", std::string(kBarWidth, '#').c_str(), text);
    else fprintf(out_, "%s\n", text);
    fflush(out_);
    barOpen_ = false;
}

void ProgressMeter::Abandon() noexcept {
    if (!barOpen_) return;
    fputc('\n', out_);
    fflush(out_);
    barOpen_ = false;
}
