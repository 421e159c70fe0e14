// gst_lumagrove.h - lumagrove, a GStreamer visualisation element that hosts
// the Lumagrove plug-in.
//
// An element of its own (a GstElement: the frames follow the stream's sound
// as liblumagrove's frame clock has them due, which no fixed block of
// samples per frame can give) that turns sound (F32LE or S16LE, interleaved, 1 to 8
// channels folded into two sides by their positions, 8 to 192 kHz) into
// video (BGRx or BGRA, 16 to 8192 pixels a side, 1280x720 at 60 fps where
// downstream leaves it open). It is an adapter of liblumagrove (lumagrove.h):
// a visualiser loads the plug-in library of its `plugin` property (empty: the
// one installed with the library) and draws with the process's one shared
// offscreen context. Like GStreamer's own visualisers it has
// the `shader` and `shade-amount` properties, answers the latency query with
// what it holds back, and skips frames that downstream's QoS says are late.
//
// Frame k is at k / fps seconds of the stream's sound from its first buffer,
// and its time for the plug-in is its stream time. Its levels are the
// library's analysis of the window centred on that time, exactly as
// lumagrove-preview computes them for a song: the element holds back half a
// window of sound, draws the last frames at EOS (the sound after the end
// reads as silence), and starts afresh on a flush or a new segment.
#ifndef LUMAGROVE_GST_LUMAGROVE_H
#define LUMAGROVE_GST_LUMAGROVE_H

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_LUMAGROVE (gst_lumagrove_get_type())
G_DECLARE_FINAL_TYPE(GstLumagrove, gst_lumagrove, GST, LUMAGROVE, GstElement)

G_END_DECLS

#endif
