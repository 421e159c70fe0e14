// The lumagrove element in gst-launch-1.0 pipelines, from a song the test
// writes: to PNG frames (the same pictures as lumagrove-preview's), to an
// MP4, in playbin's visualisation slot, and with a bad plug-in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "tests/support/throw_log.h"

namespace {

// The system's plug-ins these pipelines use, and only those, in a folder
// of links that stands for the system's plug-in folder: the tests do not
// depend on what else the machine has installed.
const char* const kSystemPlugins[] = {"coreelements", "typefindfunctions", "wavparse", "audioconvert", "audioresample",
                                      "volume",       "videoconvertscale", "png",      "multifile",    "x264",
                                      "isomp4",       "playback",          "pbtypes"};

// This process's own: CTest runs each test as a process, two at a time, and
// a folder or registry shared between them would be rebuilt under the other.
// Both go when the process ends.
struct PluginFolder {
    PluginFolder() {
        // Beside the element's folder, not in it: GStreamer scans its plug-in path recursively.
        path = LUMAGROVE_GST_DIR "/../test-system-plugins-" + std::to_string(getpid());
        registry = path + ".registry.bin";
        Capture("rm -rf '" + path + "' && mkdir -p '" + path + "'");
        for (const char* name : kSystemPlugins)
            Capture("ln -s '" LUMAGROVE_GST_SYSTEM_PLUGINS "/libgst" + std::string(name) + ".so' '" + path + "/'");
    }
    ~PluginFolder() { Capture("rm -rf '" + path + "' '" + registry + "'"); }
    std::string path, registry;
};

const PluginFolder& Plugins() {
    static const PluginFolder folder;
    return folder;
}

// Runs a pipeline with the element from the build; returns its output and
// its status as "...status=N".
std::string Launch(const std::string& pipeline, const std::string& env = "",
                   const std::string& program = "gst-launch-1.0 -q") {
    return Capture(env + " GST_PLUGIN_SYSTEM_PATH_1_0=" + Plugins().path +
                   " GST_PLUGIN_PATH_1_0=" LUMAGROVE_GST_DIR " GST_REGISTRY=" + Plugins().registry + " " + program +
                   " " + pipeline + " 2>&1; echo status=$?");
}

// gst-inspect-1.0 describes the element as GStreamer's own plug-ins are
// described: a licence, the package, its origin and an author with a contact.
TEST(GstPipeline, InspectDescribesTheElementWithItsLicenceOriginAndAuthor) {
    const std::string out = Launch("lumagrove", "", "gst-inspect-1.0");
    EXPECT_NE(out.find("status=0"), std::string::npos) << out;
    EXPECT_NE(out.find("MIT/X11"), std::string::npos) << out;
    EXPECT_NE(out.find("https://lumagrove.org/"), std::string::npos) << out;
    EXPECT_NE(out.find("<ferk.druvin@lumagrove.org>"), std::string::npos) << out;
    EXPECT_EQ(out.find("unknown"), std::string::npos) << out;
}

std::string WriteSong(const ScratchDir& dir) {
    const std::string song = dir.File("song.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000,
               {Kicks(48000, 2.0, 0.25, 0.1), Sine(3000, 0.3, 48000, 2.0)});
    return song;
}

TEST(GstPipeline, FramesAreThePicturesOfThePreviewHost) {
    ScratchDir dir;
    const std::string song = WriteSong(dir);
    mkdir(dir.File("gst").c_str(), 0755);
    const std::string out =
        Launch("filesrc location=" + song + " ! wavparse ! lumagrove ! video/x-raw,width=101," +
               "height=67,framerate=20/1 ! videoconvert ! pngenc ! multifilesink location=" + dir.File("gst/%03d.png"));
    ASSERT_NE(out.find("status=0"), std::string::npos) << out;
    const Outcome preview =
        RunPreview({"--audio", song, "--out", dir.File("preview"), "--size", "101x67", "--fps", "20", "--quiet"});
    ASSERT_EQ(preview.status, 0) << preview.err;
    const std::vector<std::string> frames = ListFolder(dir.File("gst"));
    ASSERT_EQ(frames.size(), ListFolder(dir.File("preview")).size());
    ASSERT_EQ(frames.size(), 40u);
    for (int k : {0, 6, 21, 39}) {
        char gst[32], own[32];
        snprintf(gst, sizeof gst, "gst/%03d.png", k);
        snprintf(own, sizeof own, "preview/frame_%06d.png", k);
        EXPECT_EQ(ReadPng(dir.File(gst)).rgb, ReadPng(dir.File(own)).rgb) << "frame " << k;
    }
}

TEST(GstPipeline, ASongToAnMp4AndPlaybinsVisualisationReachTheEnd) {
    ScratchDir dir;
    const std::string song = WriteSong(dir), video = dir.File("song.mp4");
    std::string out = Launch("filesrc location=" + song + " ! wavparse ! lumagrove ! video/x-raw,width=160," +
                             "height=90,framerate=20/1 ! videoconvert ! x264enc ! mp4mux ! filesink location=" + video);
    ASSERT_NE(out.find("status=0"), std::string::npos) << out;
    auto picture = ProbeStream(video, "v:0");
    EXPECT_EQ(picture["codec_name"], "h264");
    EXPECT_EQ(picture["nb_read_frames"], "40");
    out = Launch("playbin uri=file://" + song + " flags=audio+vis vis-plugin=lumagrove video-sink=fakesink " +
                 "audio-sink=\"fakesink sync=false\"");
    EXPECT_NE(out.find("status=0"), std::string::npos) << out;
}

// libgstreamer links libunwind, whose _Unwind_* functions then unwind every
// C++ exception of the process in place of the compiler's own unwinder: the
// element throws none from its start to its end, on a machine with no GPU
// (where the hardware EGL device is tried and is not there) as on any. A
// plug-in that is missing is an error, thrown and caught inside the element:
// the log sees that one.
TEST(GstPipeline, TheElementThrowsNoExceptionFromItsStartToItsEnd) {
    ScratchDir dir;
    const std::string song = WriteSong(dir), log = dir.File("throws.log");
    const std::string pipeline = "filesrc location=" + song + " ! wavparse ! lumagrove ";
    std::string out = Launch(pipeline + "! video/x-raw,width=64,height=48 ! fakesink", ThrowLogEnvironment(log));
    ASSERT_NE(out.find("status=0"), std::string::npos) << out;
    ASSERT_TRUE(ThrowLogLoaded(ReadFile(log))) << ReadFile(log);
    EXPECT_EQ(ThrowsFrom(ReadFile(log)), std::vector<std::string>{});
    remove(log.c_str());
    out = Launch(pipeline + "plugin=" + dir.File("missing.so") + " ! fakesink", ThrowLogEnvironment(log));
    EXPECT_NE(out.find("ERROR: from element"), std::string::npos) << out;
    EXPECT_FALSE(ThrowsFrom(ReadFile(log)).empty()) << ReadFile(log);
}

// In the sanitizer build the element is instrumented, and gst-launch-1.0 is
// not: the sanitizers' runtime is preloaded first. The leak check runs to
// each process's end and logs what it finds (`logs`.PID): GStreamer's and
// GLib's own allocations, kept to the exit, are there too, and a leak fails
// the test when the element's code allocated it (LeaksOfTheElement).
#ifdef LUMAGROVE_SANITIZER_RUNTIME
const char* const kSanitizerRuntime = LUMAGROVE_SANITIZER_RUNTIME;
std::string SanitizerOptions(const std::string& logs) {
    return "ASAN_OPTIONS=" LUMAGROVE_ASAN_OPTIONS " LSAN_OPTIONS=exitcode=0:log_path=" + logs +
           ":suppressions=" LUMAGROVE_LSAN_SUPPRESSIONS " ";
}
#else
const char* const kSanitizerRuntime = "";
std::string SanitizerOptions(const std::string&) { return ""; }
#endif

// The leaks reported in `folder`'s files named `prefix`.PID whose
// allocation passed through the project's code: the element or the plug-in.
std::vector<std::string> LeaksOfTheElement(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> ours;
    for (const std::string& name : ListFolder(folder)) {
        if (name.compare(0, prefix.size() + 1, prefix + ".") != 0) continue;
        const std::string report = ReadFile(folder + "/" + name);
        for (size_t at = report.find(" leak of "); at != std::string::npos; at = report.find(" leak of ", at + 1)) {
            const size_t end = report.find("\n\n", at);
            const std::string leak = report.substr(at, end == std::string::npos ? std::string::npos : end - at);
            // A frame of the project's code names its source file; one of a
            // library without symbols names its module.
            if (leak.find(" " LUMAGROVE_SOURCE_DIR "/") != std::string::npos ||
                leak.find("libgstlumagrove.so") != std::string::npos ||
                leak.find("/lumagrove.so") != std::string::npos || leak.find("/liblumagrove.so") != std::string::npos)
                ours.push_back(leak);
        }
    }
    return ours;
}

// Many pipelines, each a process of its own, two at a time as the suite runs
// them, with glibc's heap checks on (MALLOC_CHECK_=3: a corrupted heap aborts
// at once), and under AddressSanitizer in the sanitizer build: each reaches
// its end and throws nothing. Each builds a registry of its own first, as a
// test's first pipeline does: its process then ends soon after its
// streaming thread, the moment the element's EGL thread state used to be
// freed twice (once by the thread's end, once by EGL's teardown at exit).
TEST(GstPipeline, ManyPipelinesTwoAtATimeUnderHeapChecksAllEnd) {
    ScratchDir dir;
    const std::string song = WriteSong(dir), log = dir.File("throws.log");
    const int kPipelines = 40;
    std::string script = "for i in $(seq " + std::to_string(kPipelines / 2) + "); do ";
    const std::string one =
        SanitizerOptions(dir.File("leaks")) + "MALLOC_CHECK_=3 GST_PLUGIN_SYSTEM_PATH_1_0=" + Plugins().path +
        " GST_PLUGIN_PATH_1_0=" LUMAGROVE_GST_DIR " GST_REGISTRY=" + dir.File("registry") + ".$i.$k " +
        ThrowLogEnvironment(log, kSanitizerRuntime) + " gst-launch-1.0 -q filesrc location=" + song +
        " ! wavparse ! lumagrove ! video/x-raw,width=64,height=48 ! fakesink > /dev/null 2>&1; ";
    for (const char* k : {"a", "b"})
        script += "( k=" + std::string(k) + "; " + one + "echo $? > " + dir.File(k) + ".$i ) & ";
    script += "wait; done";
    Capture(script);
    int ended = 0;
    for (const std::string& name : ListFolder(dir.path()))
        if (name.size() > 2 && (name[0] == 'a' || name[0] == 'b') && name[1] == '.') {
            EXPECT_EQ(ReadFile(dir.File(name)), "0\n") << name;
            ++ended;
        }
    EXPECT_EQ(ended, kPipelines);
    const std::string throws = ReadFile(log);
    int loaded = 0;
    for (size_t at = throws.find("loaded "); at != std::string::npos; at = throws.find("\nloaded ", at + 1)) ++loaded;
    EXPECT_EQ(loaded, 2 * kPipelines) << "each gst-launch-1.0 and the plug-in scanner it ran\n" << throws;
    EXPECT_EQ(ThrowsFrom(throws), std::vector<std::string>{});
    const std::vector<std::string> leaks = LeaksOfTheElement(dir.path(), "leaks");
    EXPECT_TRUE(leaks.empty()) << leaks.size() << " leaks of the element's, the first:\n" << leaks.front();
}

TEST(GstPipeline, NoGlContextIsAnElementError) {
    ScratchDir dir;
    // The default EGL display needs an X server, and there is none here.
    const std::string out = Launch("filesrc location=" + WriteSong(dir) + " ! wavparse ! lumagrove ! fakesink",
                                   "DISPLAY= LUMAGROVE_EGL=default");
    EXPECT_EQ(out.find("status=0"), std::string::npos) << out;
    EXPECT_NE(out.find("ERROR: from element"), std::string::npos) << out;
    EXPECT_NE(out.find("cannot create an offscreen OpenGL context"), std::string::npos) << out;
}

TEST(GstPipeline, APlugInThatIsMissingOrIsNoPlugInIsAnElementError) {
    ScratchDir dir;
    const std::string song = WriteSong(dir);
    for (const std::string& bad : {dir.File("missing.so"), std::string("/usr/lib/x86_64-linux-gnu/libz.so.1")}) {
        const std::string out =
            Launch("filesrc location=" + song + " ! wavparse ! lumagrove plugin=" + bad + " ! fakesink");
        EXPECT_EQ(out.find("status=0"), std::string::npos) << out;
        EXPECT_NE(out.find("ERROR: from element"), std::string::npos) << out;
        EXPECT_NE(out.find(bad), std::string::npos) << out;
    }
}

}  // namespace
