// lumagrove-preview: loads a visualiser plug-in as a host would and shows it a
// song: rendered offline to a video, PNG frames or a contact sheet, or live in
// a window; or live sound from the sound server, shown or recorded. See --help
// for the options.
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "hosts/preview/capture_run.h"
#include "hosts/preview/job_plan.h"
#include "hosts/preview/live_view.h"
#include "hosts/preview/offline_run.h"
#include "hosts/preview/options.h"
#include "hosts/preview/program.h"
#include "hosts/preview/song_files.h"
#include "toolbox/toolbox.h"

namespace {

// The song: the file given, the built-in demo, or none when levels come from
// a CSV and no file is given.
std::unique_ptr<AudioSource> OpenSong(const Options& o) {
    if (!o.audio.empty()) return OpenSongFile(o.audio);
    if (!o.levelsIn.empty()) return nullptr;
    return MakeDemoSong();
}

void ListDevices() {
    const std::vector<std::string> devices = ListCaptureDevices();
    if (devices.empty()) throw HostError(Fault::kBadInput, "the sound server has no capture devices");
    for (const std::string& name : devices) printf("%s\n", name.c_str());
}

void Run(const Options& o) {
    if (o.listDevices) return ListDevices();
    if (o.capture) return RunCapture(o);
    std::unique_ptr<AudioSource> song = OpenSong(o);
    SongOrReplay what;
    // Levels from a CSV drive the frames even where a song is given (for the window's sound).
    if (o.levelsIn.empty()) what.song = song.get();
    else what.replay = ReadLevelsCsv(o.levelsIn);
    // What is shown: the song's tags or file name, the demo, the levels' file.
    what.title = !o.audio.empty() ? SongFileTitle(*song, o.audio)
                 : song           ? "demo"
                                  : o.levelsIn.substr(o.levelsIn.find_last_of('/') + 1);
    if (o.window) {
        // Playback reads the song on its own, apart from the analysis.
        const FrameJob job = ChooseStretch(o, what.duration());
        std::unique_ptr<AudioSource> playback = song ? OpenSong(o) : nullptr;
        ViewSong(o, job, what, playback.get());
        return;
    }
    RunOffline(o, what);
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Run); }
