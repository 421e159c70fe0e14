// The Lumagrove source in the real libobs, headless (tests/support/obs_session.h):
// media sources play songs the test writes, Lumagrove sources follow them,
// and OBS's program output is read back frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/obs_session.h"
#include "tests/support/sound_files.h"

namespace {

constexpr int kRate = 48000;

// A song of kicks on every half second, and one of silence.
struct Songs {
    ScratchDir dir;
    std::string kicks = dir.File("kicks.wav"), silence = dir.File("silence.wav");
    Songs() {
        WriteSound(kicks, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {Kicks(kRate, 4.0, 0.25, 0.1)});
        WriteSound(silence, SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {Silence(kRate, 4.0)});
    }
};

struct Area {
    int left = 0, top = 0, width = ObsSession::kWidth, height = ObsSession::kHeight;
};

std::vector<int> Glow(const std::vector<Picture>& frames, Area a = {}) {
    std::vector<int> glow;
    for (const Picture& p : frames) glow.push_back(ColouredPixels(p, a.left, a.top, a.width, a.height));
    return glow;
}

double Bright(const std::vector<Picture>& frames) {
    double most = 0;
    for (const Picture& p : frames) most = std::max(most, p.Brightness());
    return most;
}

// The times the glow rises past half its peak: one per beat.
int Rises(const std::vector<int>& glow) {
    const int peak = *std::max_element(glow.begin(), glow.end());
    int rises = 0;
    for (size_t i = 1; i < glow.size(); ++i) rises += glow[i] > peak / 2 && glow[i - 1] <= peak / 2;
    return rises;
}

std::string Dump(const std::vector<int>& glow) {
    std::string s;
    for (int g : glow) s += std::to_string(g) + " ";
    return s;
}

std::string Setting(obs_source_t* source, const char* name) {
    obs_data_t* settings = obs_source_get_settings(source);
    const std::string value = obs_data_get_string(settings, name);
    obs_data_release(settings);
    return value;
}

// The text the source's properties show of what is wrong ("" when nothing is).
std::string Problem(obs_source_t* source) {
    obs_properties_t* props = obs_source_properties(source);
    obs_property_t* shown = obs_properties_get(props, "problem");
    const std::string text = shown ? obs_property_description(shown) : "";
    obs_properties_destroy(props);
    return text;
}

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

TEST(ObsSource, GlowsFollowTheBeatsOfTheSong) {
    ObsSession& obs = ObsSession::Get();
    Songs songs;
    obs_source_t* media = obs.AddMediaSource("Song", songs.kicks);
    obs_source_t* glow = obs.AddLumagrove("Lumagrove", "Song", ObsSession::kWidth, ObsSession::kHeight);
    Sleep(1.0);
    const std::vector<int> series = Glow(obs.Record(3.0));
    obs.Remove(glow);
    obs.Remove(media);
    // OBS skips frames it has no time for (a busy machine, the sanitizers):
    // at least four a kick are enough to see each one rise.
    ASSERT_GE(series.size(), 24u) << "too few frames to see the kicks: " << Dump(series);
    std::vector<int> sorted = series;
    std::sort(sorted.begin(), sorted.end());
    const int low = sorted[sorted.size() / 10], high = sorted[sorted.size() * 9 / 10];
    EXPECT_GT(high, 500) << Dump(series);
    EXPECT_GT(high, 3 * low + 100) << "glows as large between the kicks as on them: " << Dump(series);
    // Two kicks a second.
    EXPECT_NEAR(Rises(series), 6, 1) << Dump(series);
    // OBS renders with EGL: nothing is read back or uploaded.
    EXPECT_NE(obs.Log().find("frames drawn straight into OBS's texture"), std::string::npos) << obs.Log();
}

// Two sources on two audio sources, side by side: each follows its own
// sound; the one on silence shows the outline alone.
TEST(ObsSource, TwoSourcesFollowTheirOwnSoundAndSilenceDrawsTheOutlineAlone) {
    ObsSession& obs = ObsSession::Get();
    Songs songs;
    obs_source_t* loud = obs.AddMediaSource("Kicks", songs.kicks);
    obs_source_t* quiet = obs.AddMediaSource("Quiet", songs.silence);
    const int half = ObsSession::kWidth / 2;
    // Odd sizes, scaled to half the output each.
    obs_source_t* left = obs.AddLumagrove("Left", "Kicks", 641, 361, 0, 0, 0.5f);
    obs_source_t* right = obs.AddLumagrove("Right", "Quiet", 641, 361, half, 0, 0.5f);
    EXPECT_EQ(obs_source_get_width(left), 641u);
    EXPECT_EQ(obs_source_get_height(right), 361u);
    Sleep(1.0);
    const std::vector<Picture> frames = obs.Record(2.0);
    obs.Remove(left);
    obs.Remove(right);
    obs.Remove(loud);
    obs.Remove(quiet);
    const std::vector<int> kicks = Glow(frames, {0, 0, half, ObsSession::kHeight / 2});
    const std::vector<int> silence = Glow(frames, {half, 0, half, ObsSession::kHeight / 2});
    EXPECT_GT(*std::max_element(kicks.begin(), kicks.end()), 150) << Dump(kicks);
    EXPECT_LT(*std::max_element(silence.begin(), silence.end()), 10) << Dump(silence);
    Picture last = frames.back();
    double outline = 0;
    for (int y = 0; y < ObsSession::kHeight / 2; ++y)
        for (int x = half; x < ObsSession::kWidth; ++x) outline += last.At(x, y)[0];
    EXPECT_GT(outline, 0) << "the source on silence draws no outline";
}

// The audio source renamed: followed, and the setting says the new name;
// removed: the outline alone and a warning in the properties; a source of
// that name again: followed again.
TEST(ObsSource, FollowsItsAudioSourceThroughRenameRemovalAndReturn) {
    ObsSession& obs = ObsSession::Get();
    Songs songs;
    obs_source_t* media = obs.AddMediaSource("Before", songs.kicks);
    obs_source_t* glow = obs.AddLumagrove("Lumagrove", "Before", ObsSession::kWidth, ObsSession::kHeight);
    Sleep(1.0);
    obs_source_set_name(media, "After");
    std::vector<int> renamed = Glow(obs.Record(1.5));
    EXPECT_EQ(Setting(glow, "audio_source"), "After");
    EXPECT_GT(*std::max_element(renamed.begin(), renamed.end()), 500) << Dump(renamed);
    EXPECT_EQ(Problem(glow), "");

    obs.Remove(media);
    Sleep(1.5);  // the glows die away
    std::vector<int> gone = Glow(obs.Record(1.0));
    EXPECT_LT(*std::max_element(gone.begin(), gone.end()), 10) << Dump(gone);
    EXPECT_NE(Problem(glow).find("After"), std::string::npos) << Problem(glow);
    EXPECT_NE(obs.Log().find("\"After\" is gone"), std::string::npos);

    obs_source_t* back = obs.AddMediaSource("After", songs.kicks);
    Sleep(1.0);
    std::vector<int> again = Glow(obs.Record(1.5));
    EXPECT_GT(*std::max_element(again.begin(), again.end()), 500) << Dump(again);
    EXPECT_EQ(Problem(glow), "");
    obs.Remove(glow);
    obs.Remove(back);
}

TEST(ObsSource, ManyCreationsAndRemovalsDoNotGrowMemory) {
    ObsSession& obs = ObsSession::Get();
    Songs songs;
    obs_source_t* media = obs.AddMediaSource("Song", songs.kicks);
    auto cycle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            obs_source_t* glow = obs.AddLumagrove("Lumagrove", "Song", 1280, 720);
            obs.NextFrame();
            obs.Remove(glow);
        }
    };
    cycle(10);
    const int64_t before = ResidentBytes();
    cycle(40);
    const int64_t after = ResidentBytes();
    obs.Remove(media);
    EXPECT_LT(after - before, 16 << 20) << "from " << before << " to " << after << " bytes";
}

// A plug-in that cannot be loaded, or a library that is not one: said in
// the properties and OBS's log, nothing drawn, OBS runs on; corrected in the
// settings, the source draws.
TEST(ObsSource, BadPluginLibraryIsShownAndCorrectedWithoutRestart) {
    ObsSession& obs = ObsSession::Get();
    Songs songs;
    obs_source_t* media = obs.AddMediaSource("Song", songs.kicks);
    obs_source_t* glow = obs.AddLumagrove("Lumagrove", "Song", 320, 180, 0, 0, 1, "/nowhere/lumagrove.so");
    const std::vector<Picture> missing = obs.Record(0.5);
    EXPECT_NE(Problem(glow).find("/nowhere/lumagrove.so"), std::string::npos) << Problem(glow);
    EXPECT_NE(obs.Log().find("/nowhere/lumagrove.so"), std::string::npos);
    EXPECT_EQ(Bright(missing), 0.0);

    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "plugin", "/usr/lib/x86_64-linux-gnu/libobs.so.0");
    obs_source_update(glow, settings);
    obs.Record(0.3);
    EXPECT_NE(Problem(glow).find("QueryInterface"), std::string::npos) << Problem(glow);

    obs_data_set_string(settings, "plugin", LUMAGROVE_PLUGIN_FILE);
    obs_source_update(glow, settings);
    obs_data_release(settings);
    Sleep(0.5);
    EXPECT_GT(Bright(obs.Record(0.5)), 0.0);
    EXPECT_EQ(Problem(glow), "");
    obs.Remove(glow);
    obs.Remove(media);
}

// What a streamer meets in the properties: a corrected plug-in path takes
// the error away in an open dialog at once (the source asks OBS to refresh
// its properties), an empty path says no library is chosen and draws with the
// installed one, sizes set outside 16..8192 (a scene file, obs-websocket) are
// clamped and said once, and the source is not shown as a sound source.
TEST(ObsSource, PropertiesFollowTheStateAnEmptyPathAndSizesOutsideTheRange) {
    ObsSession& obs = ObsSession::Get();
    EXPECT_EQ(obs_source_get_icon_type("lumagrove_source"), OBS_ICON_TYPE_CUSTOM);
    Songs songs;
    obs_source_t* media = obs.AddMediaSource("Song", songs.kicks);
    obs_source_t* glow = obs.AddLumagrove("Refreshed", "Song", 320, 180, 0, 0, 1, "/nowhere/lumagrove.so");
    int refreshes = 0;
    auto counted = [](void* count, calldata_t*) { ++*static_cast<int*>(count); };
    signal_handler_connect(obs_source_get_signal_handler(glow), "update_properties", counted, &refreshes);
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "plugin", LUMAGROVE_PLUGIN_FILE);
    obs_source_update(glow, settings);
    obs.Record(0.3);  // settings are taken at the next tick
    EXPECT_EQ(Problem(glow), "");
    EXPECT_GE(refreshes, 1) << "the error's end shown in an open dialog";

    obs_data_set_string(settings, "plugin", "");
    obs_source_update(glow, settings);
    Sleep(0.5);
    EXPECT_EQ(Problem(glow), "");
    EXPECT_NE(obs.Log().find("Refreshed: no plug-in library is chosen: the installed one"), std::string::npos);
    EXPECT_EQ(obs.Log().find("plug-in  does not export"), std::string::npos);
    EXPECT_GT(Bright(obs.Record(0.5)), 0.0);

    obs_data_set_int(settings, "width", 9000);
    obs_data_set_int(settings, "height", 0);
    obs_source_update(glow, settings);
    obs_data_release(settings);
    obs.Record(0.3);
    EXPECT_EQ(obs_source_get_width(glow), 8192u);
    EXPECT_EQ(obs_source_get_height(glow), 16u);
    EXPECT_NE(obs.Log().find("Refreshed: width 9000 is outside 16..8192: 8192"), std::string::npos);
    EXPECT_NE(obs.Log().find("Refreshed: height 0 is outside 16..8192: 16"), std::string::npos);
    signal_handler_disconnect(obs_source_get_signal_handler(glow), "update_properties", counted, &refreshes);
    obs.Remove(glow);
    obs.Remove(media);
}

}  // namespace
