// live_capture.h - live sound from the sound server: PulseAudio, or PipeWire
// through its PulseAudio server (libpulse).
//
// A LiveCapture pushes what it captures into its sample store
// (host/analysis/sample_store.h), at the device's own rate and channel count,
// each channel going to the side the device's channel map names. For a live
// view the store keeps the newest kLiveSeconds; for a recording it keeps
// every sample until the reader lets go of it (SampleStore::Discard), so a
// render slower than real time loses no sound, up to kMostHeldBytes waiting,
// past which the capture fails ("cannot keep up"). What the store no longer
// holds, or does not hold yet, reads as silence. frameCount() is the sample frames captured so far,
// which is the capture clock (frame n was captured n / sampleRate() seconds
// after the start, and is the store's position n). A server sends nothing
// while a device is idle (the monitor of an output that plays nothing):
// after a second without sound, silence is filled in at the device's rate
// (after 2.5 s before the first sound: the clock starts at the first sound,
// which a server may take two seconds to deliver), so the capture clock keeps
// real time.
//
// The server's thread pushes into the store; every other call may come from
// any thread. When the stream or the server goes away, failed() turns true
// with the reason, and no more sound comes.
#ifndef LUMAGROVE_LIVE_CAPTURE_H
#define LUMAGROVE_LIVE_CAPTURE_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "host/analysis/sample_store.h"

// The server's capture devices (its sources, monitors of outputs included),
// by the names --capture takes. Throws HostError (status 2) when no sound
// server answers.
std::vector<std::string> ListCaptureDevices();

class LiveCapture {
public:
    static constexpr int64_t kMostHeldBytes = int64_t(1) << 30;

    enum class Keep {
        kNewest,  // the newest kLiveSeconds (what a live view shows)
        kAll,     // every sample until let go of (what a recording writes)
    };

    // `source` is a device name from ListCaptureDevices(); "" for the monitor
    // of the default output: what the machine is playing. Throws HostError
    // (status 2) when no server answers, or no such device exists (the
    // message points to --list-devices).
    explicit LiveCapture(const std::string& source, Keep keep = Keep::kNewest);
    ~LiveCapture();
    LiveCapture(const LiveCapture&) = delete;
    LiveCapture& operator=(const LiveCapture&) = delete;

    int sampleRate() const;
    int channels() const;
    int64_t frameCount() const;  // captured so far
    SampleStore& store();        // what was captured

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
