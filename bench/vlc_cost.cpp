#include "bench/vlc_cost.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>

#include "toolbox/toolbox.h"

std::string WriteDemoForVlc(const std::string& folder) {
    chmod(folder.c_str(), 0777);
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    const std::string song = folder + "/demo.wav";
    WriteWavFile(song, *demo);
    chmod(song.c_str(), 0644);
    return song;
}

double VlcFrameCost(const std::string& folder, const std::string& song, int width, int height,
                    const std::string& vlcDir, int* frames) {
    const std::string log = folder + "/vlc.log";
    const std::string command =
        "cd " + folder + " && runuser -u nobody -- env HOME=" + folder + " VLC_PLUGIN_PATH=" + vlcDir +
        " cvlc -vv --play-and-exit --no-video-title-show --audio-visual=lumagrove"
        " --lumagrove-fps=60 --lumagrove-width=" +
        std::to_string(width) + " --lumagrove-height=" + std::to_string(height) +
        " --aout=afile --audiofile-file=" + folder + "/sound.wav --vout=yuv --yuv-chroma=RV32 --yuv-file=/dev/null " +
        song + " > " + log + " 2>&1";
    if (system(command.c_str()) != 0) throw HostError(Fault::kFailure, "cvlc failed (see " + log + ")");
    FILE* f = fopen(log.c_str(), "r");
    if (!f) throw HostError(Fault::kFailure, "no log from cvlc");
    char line[1024];
    double sum = 0;
    *frames = 0;
    while (fgets(line, sizeof line, f)) {
        const char* drawn = strstr(line, ", drawn in ");
        if (strstr(line, "lumagrove visualization debug: frame ") && drawn) {
            sum += atof(drawn + strlen(", drawn in "));
            ++*frames;
        }
    }
    fclose(f);
    if (*frames == 0) throw HostError(Fault::kFailure, "the module drew no frame (see " + log + ")");
    return sum / *frames;
}
