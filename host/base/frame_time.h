// frame_time.h - one picture frame on a host's clock: the vocabulary the
// analysis (which fills its levels), the outputs (which take them) and the
// frame driver (which asks for both) share.
//
// Two clocks meet in a frame: `time`, the seconds handed to the plug-in (a
// song's, a stream's, OBS's video time), and `soundTime`, where the frame
// falls in the sound a host pushed in, seconds from that sound's sample 0.
// They are equal for an offline render; a stream's `time` is its stream
// time while its `soundTime` counts from its first buffer.
#ifndef LUMAGROVE_FRAME_TIME_H
#define LUMAGROVE_FRAME_TIME_H

#include <stdint.h>

struct FrameTime {
    int64_t index = 0;       // frames since the run's (or the stream's) start
    double time = 0.0;       // seconds handed to the plug-in: the song's, the capture's or the stream's time
    double soundTime = 0.0;  // where the frame falls in the sound's sample store, seconds from its sample 0
};

// Picture frames that cover `seconds` at fpsN / fpsD frames a second: at
// least one, and none for a sliver of less than a thousandth of a frame
// (times read back from text are rounded).
int64_t FrameCountFor(double seconds, int fpsN, int fpsD = 1);

#endif
