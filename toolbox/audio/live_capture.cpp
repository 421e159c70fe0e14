// LiveCapture on libpulse's threaded main loop: a record stream of 32-bit
// floats at the device's own rate and channels, handed to the capture's sink.
#include "toolbox/audio/live_capture.h"

#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "host/base/host_error.h"
#include "host/base/silence_filler.h"

namespace {

const char kDefaultMonitor[] = "@DEFAULT_MONITOR@";

// A device name as a message shows it: quoted, control characters escaped,
// cut to 60 characters, so an odd name still makes one readable line.
std::string Quoted(const std::string& name) {
    std::string shown;
    for (unsigned char c : name.substr(0, 60)) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return "\"" + shown + (name.size() > 60 ? "...\"" : "\"");
}

[[noreturn]] void NoServer(pa_context* context) {
    throw HostError(Fault::kBadInput, std::string("no sound server: ") + pa_strerror(pa_context_errno(context)) +
                                          " (capture needs PulseAudio, or PipeWire's PulseAudio server)");
}

// The main loop, its thread and a connected context; released in reverse.
class Connection {
public:
    Connection() {
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "lumagrove-preview");
        pa_context_set_state_callback(
            context_,
            [](pa_context*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
            loop_);
        Lock lock(*this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            lock.Release();
            Fail();
        }
        pa_threaded_mainloop_start(loop_);
        started_ = true;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                lock.Release();
                Fail();
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    // The loop's lock, held for the scope.
    class Lock {
    public:
        explicit Lock(const Connection& c) : loop_(c.loop_) { pa_threaded_mainloop_lock(loop_); }
        ~Lock() { Release(); }
        void Release() {
            if (loop_) pa_threaded_mainloop_unlock(loop_);
            loop_ = nullptr;
        }

    private:
        pa_threaded_mainloop* loop_;
    };

    // Runs `operation` (started under the lock) to its end.
    void Await(pa_operation* operation) const {
        while (operation && pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
        if (operation) pa_operation_unref(operation);
    }

private:
    [[noreturn]] void Fail() {
        const int error = pa_context_errno(context_);
        Close();
        throw HostError(Fault::kBadInput, std::string("no sound server: ") + pa_strerror(error) +
                                              " (capture needs PulseAudio, or PipeWire's PulseAudio server)");
    }
    void Close() {
        if (started_) pa_threaded_mainloop_stop(loop_);
        started_ = false;
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        context_ = nullptr;
        if (loop_) pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool started_ = false;
};

struct SourceFacts {
    bool found = false;
    std::string name;
    uint32_t index = PA_INVALID_INDEX;      // the source's, as the server lists it
    uint32_t monitorOf = PA_INVALID_INDEX;  // the output a monitor listens to
    pa_sample_spec spec = {};
    pa_channel_map map = {};
};

ChannelSide SideOf(pa_channel_position_t position) {
    switch (position) {
        case PA_CHANNEL_POSITION_FRONT_LEFT:
        case PA_CHANNEL_POSITION_REAR_LEFT:
        case PA_CHANNEL_POSITION_SIDE_LEFT:
        case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
        case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
        case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
            return ChannelSide::kLeft;
        case PA_CHANNEL_POSITION_FRONT_RIGHT:
        case PA_CHANNEL_POSITION_REAR_RIGHT:
        case PA_CHANNEL_POSITION_SIDE_RIGHT:
        case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
        case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
        case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
            return ChannelSide::kRight;
        default:
            return ChannelSide::kBoth;
    }
}

}  // namespace

std::vector<std::string> ListCaptureDevices() {
    Connection server;
    struct Found {
        pa_threaded_mainloop* loop;
        std::vector<std::string> names;
    } found{server.loop(), {}};
    Connection::Lock lock(server);
    server.Await(pa_context_get_source_info_list(
        server.context(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            Found& f = *static_cast<Found*>(data);
            if (!eol && info) f.names.push_back(info->name);
            pa_threaded_mainloop_signal(f.loop, 0);
        },
        &found));
    return found.names;
}

struct LiveCapture::Impl {
    Connection server;
    pa_stream* stream = nullptr;
    uint32_t device = PA_INVALID_INDEX;  // the server's index of the device captured
    SourceFacts source;
    pa_time_event* watch = nullptr;   // the device looked for now and then (Watch())
    pa_operation* looking = nullptr;  // the last look
    std::vector<ChannelSide> sides;

    using Clock = std::chrono::steady_clock;
    mutable std::mutex mutex;
    std::condition_variable grew;
    CaptureSink sink;
    mutable int64_t captured = 0;
    mutable std::string failure;

    // A server sends nothing while the device is idle (a monitor of an
    // output that plays nothing, a suspended device): once nothing has come
    // for kGapSeconds, silence is filled in at the device's rate, so the
    // capture clock keeps time. Called with `mutex` held.
    // Before the first sound the wait is longer: the clock starts at the
    // first sound. PulseAudio takes up to two seconds to deliver a monitor's
    // first sound (with what played meanwhile), and silence filled in before
    // it would put everything after it that much late.
    static constexpr double kGapSeconds = 1.0, kFirstGapSeconds = 2.5;
    mutable SilenceFiller filler{SilenceFillerDesc{kGapSeconds, kFirstGapSeconds, 0.5 * kGapSeconds, false}};

    // A server that stalls (stopped, swapped out, overloaded) sends nothing,
    // and silence is filled in as for an idle device; when it goes on it
    // delivers late what it captured meanwhile, for a stretch already filled.
    // That much of the late sound is dropped, so the capture clock stays with
    // the wall clock (and what played after the stall stays in time): sound
    // that arrives more than kAheadSlack ahead of the wall clock, within
    // kReconcileSeconds of the last silence filled in, and no more than was
    // filled. `origin` is the wall-clock time of the capture's position 0. A
    // device that was idle sends its next sound in real time, behind the wall
    // clock: nothing of it is dropped.
    static constexpr double kAheadSlack = 0.02, kReconcileSeconds = 10.0;
    mutable bool started = false;
    mutable Clock::time_point origin;
    mutable int64_t filledUnmatched = 0;  // silence filled in that late sound may yet stand for
    mutable Clock::time_point lastFill;

    void FillGap() const {
        if (!failure.empty()) return;
        const Clock::time_point now = Clock::now();
        const int64_t silence = filler.Due(captured, source.spec.rate, now);
        if (silence == 0) return;
        const int64_t due = captured + silence;
        Send(nullptr, silence);
        if (!started)
            origin = now - std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(double(due) / source.spec.rate));
        started = true;
        filledUnmatched += due - captured;
        lastFill = now;
        captured = due;
    }

    int channels() const { return source.spec.channels; }

    // Sound (null: silence) to the sink, with `mutex` held: what it throws
    // fails the capture, after which no more is sent.
    void Send(const float* samples, int64_t count) const {
        if (!failure.empty()) return;
        try {
            sink(samples, count);
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "the captured sound could not be taken";
        }
    }

    // How many of `frames` arriving now (the oldest first) stand for silence
    // already filled in; see above. Called with `mutex` held.
    int64_t LateForFilledSilence(int64_t frames) const {
        const Clock::time_point now = Clock::now();
        const double rate = source.spec.rate;
        if (filledUnmatched > 0 && std::chrono::duration<double>(now - lastFill).count() > kReconcileSeconds)
            filledUnmatched = 0;
        if (filledUnmatched == 0) {
            // No silence to stand for: the sound places the origin. Sound
            // arrives after it was captured, so the earliest origin it allows
            // is the truest (a server's first sound can come with a backlog).
            const Clock::time_point allowed = now - std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>((captured + frames) / rate));
            origin = started ? std::min(origin, allowed) : allowed;
            started = true;
            return 0;
        }
        const double wall = std::chrono::duration<double>(now - origin).count();
        const int64_t ahead = captured + frames - static_cast<int64_t>((wall + kAheadSlack) * rate);
        const int64_t drop = std::max<int64_t>(0, std::min({ahead, frames, filledUnmatched}));
        filledUnmatched -= drop;
        return drop;
    }

    // The stream goes before the connection (a member, released after this).
    ~Impl() {
        if (!stream) return;
        Connection::Lock lock(server);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_moved_callback(stream, nullptr, nullptr);
        pa_context_set_subscribe_callback(server.context(), nullptr, nullptr);
        pa_context_set_state_callback(server.context(), nullptr, nullptr);
        if (watch) pa_threaded_mainloop_get_api(server.loop())->time_free(watch);
        if (looking) {
            pa_operation_cancel(looking);
            pa_operation_unref(looking);
        }
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }

    // On the server's thread: everything the stream has, into the store.
    void TakeSamples() {
        const void* data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const size_t frameBytes = sizeof(float) * channels();
            const int64_t frames = static_cast<int64_t>(bytes / frameBytes);
            {
                std::lock_guard<std::mutex> lock(mutex);
                const int64_t dropped = LateForFilledSilence(frames);
                const int64_t kept = frames - dropped;
                // A hole in the stream is silence.
                Send(data ? static_cast<const float*>(data) + dropped * channels() : nullptr, kept);
                captured += kept;
                filler.Heard(captured, Clock::now());
            }
            pa_stream_drop(stream);
            grew.notify_all();
        }
    }

    // On the server's thread, every kWatchSeconds: the device looked up by
    // name, and the stream's device checked, for a server that tells of
    // neither its removal nor a move (PipeWire's PulseAudio server, now and
    // then, when busy).
    static constexpr double kWatchSeconds = 0.5;
    void Watch() {
        if (pa_stream_get_state(stream) == PA_STREAM_READY && pa_stream_get_device_index(stream) != device) {
            Fail("the capture device went away (the server moved the capture elsewhere)");
            return;
        }
        // One look at a time: a stalled server answers them all at once.
        if (!looking || pa_operation_get_state(looking) != PA_OPERATION_RUNNING) {
            if (looking) pa_operation_unref(looking);
            looking = pa_context_get_source_info_by_name(
                server.context(), source.name.c_str(),
                [](pa_context* c, const pa_source_info*, int eol, void* data) {
                    if (eol < 0 && pa_context_errno(c) == PA_ERR_NOENTITY)
                        static_cast<Impl*>(data)->Fail("the capture device went away (removed or unloaded)");
                },
                this);
        }
        pa_context_rttime_restart(server.context(), watch,
                                  pa_rtclock_now() + static_cast<pa_usec_t>(kWatchSeconds * PA_USEC_PER_SEC));
    }

    void Fail(const std::string& why) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (failure.empty()) failure = why;
        }
        grew.notify_all();
    }
};

LiveCapture::LiveCapture(const std::string& requested, const std::function<CaptureSink(const CaptureFormat&)>& open)
    : impl_(std::make_unique<Impl>()) {
    Impl& g = *impl_;
    const std::string name = requested.empty() ? kDefaultMonitor : requested;
    Connection::Lock lock(g.server);
    struct Query {
        pa_threaded_mainloop* loop;
        SourceFacts* facts;
    } query{g.server.loop(), &g.source};
    g.server.Await(pa_context_get_source_info_by_name(
        g.server.context(), name.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
            Query& q = *static_cast<Query*>(data);
            if (!eol && info) {
                q.facts->found = true;
                q.facts->name = info->name;
                q.facts->index = info->index;
                q.facts->monitorOf = info->monitor_of_sink;
                q.facts->spec = info->sample_spec;
                q.facts->map = info->channel_map;
            }
            pa_threaded_mainloop_signal(q.loop, 0);
        },
        &query));
    if (!g.source.found) {
        lock.Release();
        if (requested.empty())
            throw HostError(Fault::kBadInput,
                            "--capture: the sound server has no default output to capture "
                            "(see --list-devices for the capture devices)");
        throw HostError(Fault::kBadInput, "--capture " + Quoted(requested) +
                                              ": no such capture device (see --list-devices for the names)");
    }
    for (int c = 0; c < g.source.map.channels; ++c) g.sides.push_back(SideOf(g.source.map.map[c]));

    pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, g.source.spec.rate, g.source.spec.channels};
    const std::vector<ChannelSide> sides = spec.channels == 1 ? std::vector<ChannelSide>{ChannelSide::kBoth} : g.sides;
    g.sink = open(CaptureFormat{g.source.name, static_cast<int>(spec.rate), sides});
    g.stream = pa_stream_new(g.server.context(), "Lumagrove visualiser", &spec, &g.source.map);
    if (!g.stream) {
        lock.Release();
        NoServer(g.server.context());
    }
    pa_stream_set_read_callback(
        g.stream, [](pa_stream*, size_t, void* data) { static_cast<Impl*>(data)->TakeSamples(); }, &g);
    pa_stream_set_state_callback(
        g.stream,
        [](pa_stream* s, void* data) {
            Impl& impl = *static_cast<Impl*>(data);
            const pa_stream_state_t state = pa_stream_get_state(s);
            const int error = pa_context_errno(pa_stream_get_context(s));
            if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
                impl.Fail(error == PA_ERR_KILLED ? "the capture device went away (removed or unloaded)"
                                                 : std::string("the capture stopped: ") + pa_strerror(error));
            pa_threaded_mainloop_signal(impl.server.loop(), 0);
        },
        &g);
    pa_context_set_state_callback(
        g.server.context(),
        [](pa_context* c, void* data) {
            Impl& impl = *static_cast<Impl*>(data);
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c)))
                impl.Fail(std::string("the sound server went away: ") + pa_strerror(pa_context_errno(c)));
            pa_threaded_mainloop_signal(impl.server.loop(), 0);
        },
        &g);
    // Small fragments: a live picture wants the newest sound soon.
    pa_buffer_attr attr;
    memset(&attr, 0xff, sizeof attr);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(10 * 1000, &spec));
    // The device, and no other: when it goes away the server would move the
    // stream to its default source (a microphone) and the recording would go
    // on with other sound; refused, the stream fails and the recording ends.
    const pa_stream_flags_t flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(g.stream, g.source.name.c_str(), &attr, flags) < 0) {
        lock.Release();
        throw HostError(Fault::kBadInput,
                        "--capture " + Quoted(name) + ": " + pa_strerror(pa_context_errno(g.server.context())));
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(g.stream);
        if (state == PA_STREAM_READY) break;
        if (!PA_STREAM_IS_GOOD(state)) {
            lock.Release();
            throw HostError(Fault::kBadInput, "--capture " + Quoted(name) + ": the sound server refused the capture: " +
                                                  pa_strerror(pa_context_errno(g.server.context())));
        }
        pa_threaded_mainloop_wait(g.server.loop());
    }
    // A server may not fail the stream when its device goes: PipeWire's
    // PulseAudio server now and then moves it despite PA_STREAM_DONT_MOVE, or
    // leaves it with no device, and may tell of the removal under the index
    // it lists the source by rather than the stream's, or only of the output
    // a monitor listens to. Any of these ends the recording as above.
    g.device = pa_stream_get_device_index(g.stream);
    pa_stream_set_moved_callback(
        g.stream,
        [](pa_stream*, void* data) {
            static_cast<Impl*>(data)->Fail("the capture device went away (the server moved the capture elsewhere)");
        },
        &g);
    pa_context_set_subscribe_callback(
        g.server.context(),
        [](pa_context*, pa_subscription_event_type_t event, uint32_t index, void* data) {
            Impl& impl = *static_cast<Impl*>(data);
            if ((event & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_REMOVE) return;
            const unsigned facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            if ((facility == PA_SUBSCRIPTION_EVENT_SOURCE && (index == impl.device || index == impl.source.index)) ||
                (facility == PA_SUBSCRIPTION_EVENT_SINK && index == impl.source.monitorOf && index != PA_INVALID_INDEX))
                impl.Fail("the capture device went away (removed or unloaded)");
        },
        &g);
    if (pa_operation* op = pa_context_subscribe(
            g.server.context(),
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK), nullptr,
            nullptr))
        pa_operation_unref(op);
    g.watch = pa_context_rttime_new(
        g.server.context(), pa_rtclock_now() + static_cast<pa_usec_t>(Impl::kWatchSeconds * PA_USEC_PER_SEC),
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) { static_cast<Impl*>(data)->Watch(); },
        &g);
}

LiveCapture::~LiveCapture() = default;

int LiveCapture::sampleRate() const { return static_cast<int>(impl_->source.spec.rate); }
int LiveCapture::channels() const { return impl_->channels(); }
const std::string& LiveCapture::deviceName() const { return impl_->source.name; }

int64_t LiveCapture::frameCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->FillGap();
    return impl_->captured;
}

int64_t LiveCapture::WaitFor(int64_t frames, double seconds) {
    Impl& g = *impl_;
    std::unique_lock<std::mutex> lock(g.mutex);
    const auto deadline =
        Impl::Clock::now() + std::chrono::duration_cast<Impl::Clock::duration>(std::chrono::duration<double>(seconds));
    for (;;) {
        g.FillGap();
        if (g.captured >= frames || !g.failure.empty() || Impl::Clock::now() >= deadline) break;
        g.grew.wait_for(lock, std::chrono::milliseconds(20));
    }
    return g.captured;
}

bool LiveCapture::failed() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return !impl_->failure.empty();
}

std::string LiveCapture::failure() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->failure;
}
