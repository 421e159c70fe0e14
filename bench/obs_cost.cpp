#include "bench/obs_cost.h"

#include <string.h>
#include <util/profiler.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Microseconds and frames OBS's graphics thread has spent so far.
struct FrameTotals {
    double micros = 0;
    double frames = 0;
};

FrameTotals GraphicsThreadTotals() {
    FrameTotals totals;
    profiler_snapshot_t* snapshot = profile_snapshot_create();
    profiler_snapshot_enumerate_roots(
        snapshot,
        [](void* context, profiler_snapshot_entry_t* entry) {
            if (strncmp(profiler_snapshot_entry_name(entry), "obs_graphics_thread", 19) != 0) return true;
            FrameTotals* t = static_cast<FrameTotals*>(context);
            const profiler_time_entries_t* times = profiler_snapshot_entry_times(entry);
            for (size_t i = 0; i < times->num; ++i) {
                t->micros += static_cast<double>(times->array[i].time_delta) * times->array[i].count;
                t->frames += static_cast<double>(times->array[i].count);
            }
            return false;
        },
        &totals);
    profile_snapshot_free(snapshot);
    return totals;
}

}  // namespace

double MeanFrame(double seconds) {
    const FrameTotals before = GraphicsThreadTotals();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const FrameTotals after = GraphicsThreadTotals();
    return (after.micros - before.micros) / std::max(1.0, after.frames - before.frames) / 1000.0;
}
