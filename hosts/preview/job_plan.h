// job_plan.h - the stretch of a song that a run of lumagrove-preview draws,
// from its options.
#ifndef LUMAGROVE_JOB_PLAN_H
#define LUMAGROVE_JOB_PLAN_H

#include <stdint.h>

#include "host/visualiser.h"

struct Options;

// The job for the options' size, rate and stretch (--start, --duration: to the
// end when not given) of a song `songSeconds` long; at least one frame.
// Throws HostError (status 2) when the stretch starts or ends past the song.
FrameJob ChooseStretch(const Options& o, double songSeconds);

#endif
