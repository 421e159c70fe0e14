// live_capture.h - live sound from the sound server: PulseAudio, or PipeWire
// through its PulseAudio server (libpulse).
//
// A LiveCapture hands what it captures to its sink as it comes, on the
// server's thread, at the device's own rate and channel count (interleaved
// floats; the channel map says which side each channel feeds). frameCount()
// is the sample frames captured so far, which is the capture clock (frame n
// was captured n / sampleRate() seconds after the start, and is the sound's
// position n). A server sends nothing while a device is idle (the monitor
// of an output that plays nothing): after a second without sound, silence is
// filled in at the device's rate (after 2.5 s before the first sound: the
// clock starts at the first sound, which a server may take two seconds to
// deliver), so the capture clock keeps real time.
//
// The server's thread calls the sink; every other call may come from any
// thread. When the stream or the server goes away, failed() turns true
// with the reason, and no more sound comes.
#ifndef LUMAGROVE_LIVE_CAPTURE_H
#define LUMAGROVE_LIVE_CAPTURE_H

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/base/channel_sides.h"

// The server's capture devices (its sources, monitors of outputs included),
// by the names --capture takes. Throws HostError (bad input) when no sound
// server answers.
std::vector<std::string> ListCaptureDevices();

// What a capture device gives: its rate, channels and each channel's side.
struct CaptureFormat {
    std::string device;  // its name, as the server gives it
    int rate = 0;
    std::vector<ChannelSide> sides;
};

// Where captured sound goes, on the server's thread: `count` sample frames
// of `samples`, or of silence when `samples` is null. What it throws fails
// the capture with its message.
using CaptureSink = std::function<void(const float* samples, int64_t count)>;

class LiveCapture {
public:
    // `source` is a device name from ListCaptureDevices(); "" for the monitor
    // of the default output: what the machine is playing. `open` is told the
    // device's format once it is found, before any sound comes, and gives
    // the sink (what it throws passes through). Throws HostError (bad input)
    // when no server answers, or no such device exists (the message points
    // to --list-devices).
    LiveCapture(const std::string& source, const std::function<CaptureSink(const CaptureFormat&)>& open);
    ~LiveCapture();  // no sink call runs or comes once it returns
    LiveCapture(const LiveCapture&) = delete;
    LiveCapture& operator=(const LiveCapture&) = delete;

    int sampleRate() const;
    int channels() const;
    int64_t frameCount() const;  // captured so far

    // The device's name, as the server gives it.
    const std::string& deviceName() const;
    // Waits until at least `frames` have been captured, the capture failed,
    // or `seconds` passed. Returns frameCount().
    int64_t WaitFor(int64_t frames, double seconds);
    bool failed() const;
    std::string failure() const;  // why, once failed()

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

#endif
