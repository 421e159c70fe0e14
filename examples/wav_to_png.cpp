// wav_to_png: a song to PNG frames, with Lumagrove embedded through the host
// library's public header alone. Build it against an installed library:
//   g++ -std=c++17 wav_to_png.cpp $(pkg-config --cflags --libs lumagrove-host)
// Usage: wav_to_png SONG FOLDER [PLUGIN]   (30 frames a second, 640x360)
#include <stdio.h>

#include "host/visualiser.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: wav_to_png SONG FOLDER [lumagrove.so]\n");
        return kExitBadInput;
    }
    try {
        std::unique_ptr<AudioSource> song = OpenAudioFile(argv[1]);
        PngFolderSink frames(argv[2]);  // frame_000000.png, ..., put in place when all are done
        VisualiserDesc desc;
        desc.plugin = argc > 3 ? argv[3] : DefaultPluginPath();
        desc.job.width = 640;
        desc.job.height = 360;
        desc.job.fps = 30;
        desc.job.frameCount = FrameCountFor(song->duration(), desc.job.fps);
        desc.outputs = {&frames};
        Visualiser visualiser(desc);   // the plug-in loaded and started offscreen
        visualiser.FeedFrom(*song);    // recorded sound: each frame from the window centred on it
        StretchClock clock(desc.job);  // frame i at i / 30 seconds of the song
        visualiser.Run(clock);
        visualiser.Finish();
        printf("%lld frames in %s\n", static_cast<long long>(visualiser.framesDone()), argv[2]);
        return kExitOk;
    } catch (const HostError& e) {
        fprintf(stderr, "wav_to_png: %s\n", e.what());
        return e.status;
    }
}
