// The Lumagrove source in the real OBS Studio (`obs` from the system), as a
// streamer runs it: the module in the user's plug-in folder, laid out as
// `make install` lays it out; a scene collection with a media source on a
// song and a Lumagrove source on it; --startrecording; stopped as a person
// stops it. The recording shows the glows on the song's beats.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "tests/support/preview_runner.h"
#include "tests/support/sound_files.h"
#include "tests/support/throw_log.h"

namespace {

constexpr int kRate = 48000;

void MakeFolders(const std::string& path) { Capture("mkdir -p '" + path + "'"); }

// OBS's settings for a run that asks nothing of a person: the first run's
// wizard done, no confirmation on exit, a profile recording to `recordings`
// at 640x360 and 30 fps, and a scene collection with the song and the source.
void WriteSettings(const std::string& config, const std::string& song, const std::string& recordings) {
    const std::string obs = config + "/obs-studio";
    MakeFolders(obs + "/basic/profiles/LumagroveTest");
    MakeFolders(obs + "/basic/scenes");
    MakeFolders(obs + "/plugins");
    WriteText(obs + "/global.ini",
              "[General]\nFirstRun=true\nConfirmOnExit=false\nEnableAutoUpdates=false\n"
              "[Basic]\nProfile=Lumagrove Test\nProfileDir=LumagroveTest\n"
              "SceneCollection=Lumagrove Test\nSceneCollectionFile=LumagroveTest\n");
    WriteText(obs + "/basic/profiles/LumagroveTest/basic.ini",
              "[General]\nName=Lumagrove Test\n[Output]\nMode=Simple\n"
              "[SimpleOutput]\nFilePath=" +
                  recordings +
                  "\nRecFormat=mkv\nRecQuality=Stream\nRecEncoder=x264\nVBitrate=2500\nABitrate=160\n"
                  "[Video]\nBaseCX=640\nBaseCY=360\nOutputCX=640\nOutputCY=360\nFPSType=0\nFPSCommon=30\n"
                  "[Audio]\nSampleRate=48000\nChannelSetup=Stereo\n");
    WriteText(obs + "/basic/scenes/LumagroveTest.json", R"({
  "name": "Lumagrove Test", "current_scene": "Scene", "current_program_scene": "Scene",
  "scene_order": [{"name": "Scene"}], "transitions": [], "current_transition": "Fade",
  "sources": [
    {"id": "scene", "versioned_id": "scene", "name": "Scene", "settings": {"id_counter": 2, "items": [
      {"id": 1, "name": "Song", "visible": true, "pos": {"x": 0, "y": 0}, "scale": {"x": 1, "y": 1}},
      {"id": 2, "name": "Lumagrove", "visible": true, "pos": {"x": 0, "y": 0}, "scale": {"x": 0.5, "y": 0.5}}]}},
    {"id": "ffmpeg_source", "versioned_id": "ffmpeg_source", "name": "Song",
     "settings": {"local_file": ")" + song + R"(", "is_local_file": true, "looping": true}},
    {"id": "lumagrove_source", "versioned_id": "lumagrove_source", "name": "Lumagrove",
     "settings": {"audio_source": "Song", "width": 1280, "height": 720}}]
})");
    // The module as `make install` puts it in a user's plug-in folder.
    Capture("ln -s '" LUMAGROVE_OBS_DIR "' '" + obs + "/plugins/lumagrove-obs'");
}

TEST(ObsStudio, RecordingOfASceneWithTheSourceShowsTheGlowsOnTheBeats) {
    ScratchDir dir;
    const std::string song = dir.File("kicks.wav");
    WriteSound(song, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {Kicks(kRate, 4.0, 0.25, 0.1)});
    WriteSettings(dir.File("config"), song, dir.File("recordings"));
    MakeFolders(dir.File("recordings"));
    VirtualDisplay display(1280, 800);

    // Stopped with Ctrl-C six seconds after its recording has started (its
    // log says so), as from a terminal. A screenshot of OBS's window on the
    // way (docs/obs.md shows it) goes beside the module in the build. Every
    // C++ exception of the process is logged: none may be the module's.
    const std::string throws = dir.File("throws.log");
    const std::string run =
        Capture("cd '" + dir.path() + "' && HOME='" + dir.path() + "' XDG_CONFIG_HOME='" + dir.File("config") +
                "' DISPLAY=" + display.name() + " " + ThrowLogEnvironment(throws) +
                " obs --startrecording --multi --disable-missing-files-check"
                " --collection 'Lumagrove Test' --profile 'Lumagrove Test' > obs.log 2>&1 & pid=$!;"
                " n=0; until grep -q 'Recording Start' '" +
                dir.File("obs.log") +
                "' || ! kill -0 $pid 2>/dev/null ||"
                " [ $n -ge 1200 ]; do sleep 0.1; n=$((n + 1)); done;"
                " grep -q 'Recording Start' '" +
                dir.File("obs.log") +
                "' || echo recording=none;"
                " sleep 4;"
                " ffmpeg -v error -y -f x11grab -video_size 1280x800 -i " +
                display.name() +
                " -frames:v 1 '" LUMAGROVE_OBS_DIR
                "/../obs-studio-window.png';"
                " sleep 2; kill -INT $pid; wait $pid; echo status=$?");
    const std::string log = ReadFile(dir.File("obs.log"));
    ASSERT_EQ(run.find("recording=none"), std::string::npos) << "OBS said no \"Recording Start\" in 120 s\n" << log;
    ASSERT_TRUE(ThrowLogLoaded(ReadFile(throws))) << ReadFile(throws);
    // OBS 29 itself crashes now and then as it exits, in its own window's
    // teardown (Qt delivering an event to a widget already gone, once the
    // scene is cleared; obsproject/obs-studio#13248 and its kin). That is
    // told apart from a crash of Lumagrove's by the crashed thread's stack
    // (no frame of the project's code) and by the time: the source already
    // removed, its plug-in let go.
    if (run.find("status=0") == std::string::npos) {
        const LoggedCrash crash = CrashIn(ReadFile(throws));
        std::string frames;
        bool ours = false;
        for (const std::string& frame : crash.frames) {
            frames += "  " + frame + "\n";
            ours = ours || frame.find("lumagrove") != std::string::npos;
        }
        ASSERT_TRUE(crash.signal != 0 && !ours && log.find("[lumagrove] Lumagrove: removed") != std::string::npos)
            << run << "\ncrash: signal " << crash.signal << "\n"
            << frames << log;
        std::cout << "OBS crashed as it exited, in its own code (signal " << crash.signal
                  << "), after the Lumagrove source was removed:\n"
                  << frames;
    }
    EXPECT_EQ(ThrowsFrom(ReadFile(throws)), std::vector<std::string>{});
    EXPECT_NE(log.find("lumagrove-obs.so"), std::string::npos) << log;
    EXPECT_EQ(log.find("Failed to create source 'Lumagrove'"), std::string::npos) << log;

    const std::vector<std::string> recorded = ListFolder(dir.File("recordings"));
    ASSERT_EQ(recorded.size(), 1u);
    const std::string video = dir.File("recordings/" + recorded[0]);
    EXPECT_EQ(ProbeStream(video, "v:0")["width"], "640");
    EXPECT_FALSE(ProbeStream(video, "a:0").empty()) << "no sound in the recording";

    MakeFolders(dir.File("frames"));
    Capture("ffmpeg -v error -i '" + video + "' -vf fps=10 '" + dir.File("frames/%03d.png") + "'");
    std::vector<int> glow;
    for (const std::string& name : ListFolder(dir.File("frames")))
        glow.push_back(ColouredPixels(ReadPng(dir.File("frames/" + name))));
    ASSERT_GT(glow.size(), 40u);
    // After OBS's start, two kicks a second: the glows rise and fall with them.
    glow.erase(glow.begin(), glow.begin() + 20);
    std::vector<int> sorted = glow;
    std::sort(sorted.begin(), sorted.end());
    const int low = sorted[sorted.size() / 10], high = sorted[sorted.size() * 9 / 10];
    std::string series;
    for (int g : glow) series += std::to_string(g) + " ";
    EXPECT_GT(high, 2000) << series;
    EXPECT_GT(high, 3 * low + 100) << series;
}

}  // namespace
