// options.h - the preview host's command line.
//
// ParseOptions reads argv with CLI11 and checks every value that can be
// checked without opening anything: the size, frame rate, times, the kind of
// each output, that some output was chosen, that ffmpeg is there when a video
// is asked for; in the Windows build, that nothing is asked for that it lacks
// (audio, video, the live window). A wrong value throws HostError (status 2) with one sentence
// naming the value and what is wrong with it. Files are checked where they
// are opened.
#ifndef LUMAGROVE_OPTIONS_H
#define LUMAGROVE_OPTIONS_H

#include <string>

struct Options {
    std::string plugin;     // the plug-in library
    std::string audio;      // song file; "" for the built-in demo (or none with --levels-in)
    std::string levelsIn;   // levels CSV to replay instead of analysing sound
    std::string levelsOut;  // levels CSV to write
    std::string out;        // .mp4 file or frames folder
    std::string sheet;      // contact sheet .png
    int width = 1280;
    int height = 720;
    int fps = 60;
    double start = 0.0;
    double duration = -1.0;          // < 0: to the end of the song
    std::string quality = "normal";  // the video's --quality: draft, normal or high
    bool capture = false;            // --capture: live sound instead of a song
    std::string captureSource;       // its device; "" for the default output's monitor
    bool listDevices = false;        // --list-devices: print the capture devices and exit
    bool window = false;
    bool fullscreen = false;  // --fullscreen: the window starts full screen (F11 toggles)
    bool quiet = false;

    bool outIsVideo() const;  // --out names an .mp4 (else a folder)
};

// Returns false when --help was asked for and printed (exit 0), true when
// `options` is filled and checked.
bool ParseOptions(int argc, char** argv, Options* options);

#endif
