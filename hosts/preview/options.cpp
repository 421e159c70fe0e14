#include "hosts/preview/options.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "toolbox/toolbox.h"

namespace {

const int kMinSize = 16, kMaxSize = 8192;
const int kMinFps = 1, kMaxFps = 240;

[[noreturn]] void Bad(const std::string& message) { throw HostError(Fault::kBadInput, message); }

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
}

// A whole number written with digits only, within [low, high].
bool ParseWhole(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!isdigit(static_cast<unsigned char>(c))) return false;
    *value = atoi(text.c_str());
    return *value >= low && *value <= high;
}

bool ParseSeconds(const std::string& text, double* value) {
    char* end = nullptr;
    *value = strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && isfinite(*value);
}

void CheckSize(const std::string& text, Options* o) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos || !ParseWhole(text.substr(0, x), kMinSize, kMaxSize, &o->width) ||
        !ParseWhole(text.substr(x + 1), kMinSize, kMaxSize, &o->height))
        Bad("--size " + text + ": expected WIDTHxHEIGHT, each a whole number from 16 to 8192");
}

void CheckTimes(const std::string& startText, const std::string& durationText, Options* o) {
    if (!ParseSeconds(startText, &o->start) || o->start < 0)
        Bad("--start " + startText + ": expected seconds, 0 or more");
    if (!durationText.empty() && (!ParseSeconds(durationText, &o->duration) || o->duration <= 0))
        Bad("--duration " + durationText + ": expected seconds, more than 0");
}

#ifdef _WIN32
// The Windows build has no audio decoding (FFmpeg is not built for
// Windows), so no analysis, no encoder and no live window: levels come from a
// CSV and frames go to PNG files or a contact sheet.
void CheckWindowsBuildCanDo(const Options& o) {
    const std::string replay = "replay levels saved by the Linux build's --levels-out with --levels-in FILE.csv";
    if (!o.audio.empty()) Bad("--audio: the Windows build decodes no audio; " + replay);
    if (o.window) Bad("--window: the Windows build has no live window; use --out FOLDER");
    if (o.outIsVideo()) Bad("--out " + o.out + ": the Windows build writes PNG frames; give a folder");
    if (o.capture || o.listDevices) Bad("--capture: the Windows build captures no sound; " + replay);
    if (o.levelsIn.empty()) Bad("no levels: the Windows build cannot analyse sound; " + replay);
}
#endif

// A capture takes its sound, and its clock, live.
void CheckCapture(const Options& o) {
    if (!o.capture) return;
    if (!o.audio.empty()) Bad("--capture takes its sound live and cannot be combined with --audio");
    if (!o.levelsIn.empty()) Bad("--capture takes its sound live and cannot be combined with --levels-in");
    if (o.start != 0) Bad("--start: a capture starts as it is started; give --duration to end it");
    if (!o.sheet.empty() && o.duration < 0)
        Bad("--sheet with --capture needs --duration: the sheet spreads its frames over the recording");
    if (o.window && o.fullscreen && (!o.out.empty() || !o.sheet.empty()))
        Bad("--fullscreen: a recording keeps its --size; watch it in a window");
}

void CheckOutputs(Options* o) {
#ifdef _WIN32
    CheckWindowsBuildCanDo(*o);
#endif
    CheckCapture(*o);
    if (o->window && !o->capture && (!o->out.empty() || !o->sheet.empty()))
        Bad("--window plays the song live and cannot be combined with --out or --sheet");
    if (o->fullscreen && !o->window) Bad("--fullscreen is for the live window: add --window");
    if (!o->window && o->out.empty() && o->sheet.empty() && o->levelsOut.empty())
        Bad("no output chosen: give --out FILE.mp4, --out FOLDER, --sheet FILE.png, --levels-out FILE.csv or "
            "--window");
    if (!o->sheet.empty() && !EndsWithNoCase(o->sheet, ".png"))
        Bad("--sheet " + o->sheet + ": the contact sheet is a PNG file; give a name ending in .png");
    if (!o->out.empty() && !o->outIsVideo()) {
        // A folder: an existing one, a name ending in '/', or a name without
        // an extension. Anything else is a file type this program cannot write.
        struct stat st;
        const bool isFolder = stat(o->out.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const size_t slash = o->out.find_last_of('/');
        const std::string last = slash == std::string::npos ? o->out : o->out.substr(slash + 1);
        if (!isFolder && !last.empty() && last.find('.') != std::string::npos && last.find('.') != 0)
            Bad("--out " + o->out + ": expected a video ending in .mp4 or a folder for PNG frames");
        if (!isFolder && stat(o->out.c_str(), &st) == 0) Bad("--out " + o->out + ": exists and is not a folder");
    }
    if (!o->out.empty() && o->outIsVideo() && (o->width % 2 || o->height % 2))
        Bad("--size " + std::to_string(o->width) + "x" + std::to_string(o->height) +
            ": a video in yuv420p needs an even width and height");
#ifndef _WIN32
    if (!o->out.empty() && o->outIsVideo() && FindProgram("ffmpeg").empty())
        Bad("--out " + o->out + ": writing video needs ffmpeg, which is not on PATH (apt-get install ffmpeg)");
#endif
}

}  // namespace

bool Options::outIsVideo() const { return EndsWithNoCase(out, ".mp4"); }

bool ParseOptions(int argc, char** argv, Options* o) {
    CLI::App app(
        "Renders the Lumagrove visualiser for a song: to a video, to PNG frames, to a contact sheet, "
        "or live in a window.",
        "lumagrove-preview");
    app.allow_extras();
    // The program is as new as the library it runs on.
    app.set_version_flag("--version", std::string("lumagrove-preview ") + lumagrove_version_string(),
                         "Print the version and exit");
    std::string size = "1280x720", fps = "60", start = "0", duration;
    o->plugin = lumagrove_desc_defaults(nullptr).plugin_path;
    app.add_option("--plugin", o->plugin, "The plug-in library to load")->type_name("PATH")->default_str(o->plugin);
    app.add_option(
           "--audio", o->audio,
           "Song to render: any format FFmpeg reads (MP3, AAC/M4A, FLAC, WAV, Ogg, Opus, WMA, a video's sound, ...)")
        ->type_name("FILE")
        ->default_str("the built-in 20-second demo");
    app.add_option("--levels-in", o->levelsIn, "Drive the plug-in from a levels CSV instead of analysing sound")
        ->type_name("FILE.csv")
        ->default_str("none");
    app.add_option("--levels-out", o->levelsOut, "Also write each frame's levels to this CSV")
        ->type_name("FILE.csv")
        ->default_str("none");
    app.add_option("--out", o->out, "Output: a video FILE.mp4 (H.264 + AAC, needs ffmpeg) or a FOLDER of PNG frames")
        ->type_name("FILE.mp4|FOLDER")
        ->default_str("none");
    std::string qualities;
    for (const VideoQuality& q : VideoQualities()) qualities += (qualities.empty() ? "" : "|") + std::string(q.name);
    app.add_option("--quality", o->quality,
                   "The video's trade of speed against picture and size: draft (fastest, smallest), normal (real "
                   "time at 1920x1080 60 fps on two cores), high (for the archive copy: the best picture in a "
                   "smaller file, at about half the speed)")
        ->type_name(qualities)
        ->default_str(o->quality);
    app.add_option("--sheet", o->sheet, "Write a contact sheet FILE.png: frames spread over the song, with times")
        ->type_name("FILE.png")
        ->default_str("none");
    app.add_option("--size", size, "Frame size, 16 to 8192 each")->type_name("WxH")->default_str(size);
    app.add_option("--fps", fps, "Frames per second, 1 to 240 (in the window: the most it draws)")
        ->type_name("N")
        ->default_str(fps);
    app.add_option("--start", start, "Seconds into the song where rendering starts")
        ->type_name("SECONDS")
        ->default_str(start);
    app.add_option("--duration", duration, "Seconds to render")
        ->type_name("SECONDS")
        ->default_str("to the end of the song");
    app.add_flag("--window", o->window,
                 "Play the song in a live, resizable window; Esc, closing it, Ctrl-C or SIGTERM end it")
        ->default_str("off");
    app.add_flag("--fullscreen", o->fullscreen,
                 "Start the window full screen; F11 toggles it. In the window, space pauses and resumes the song, "
                 "and a song file dropped on it plays in its place")
        ->default_str("off");
    app.add_flag("--quiet", o->quiet, "No progress report on stderr")->default_str("off");
    app.add_option("--capture", o->captureSource,
                   "Take the sound live from a capture device instead of a file: without SOURCE, what the machine "
                   "is playing (the monitor of the default output). Records to the outputs until --duration, "
                   "Ctrl-C or SIGTERM; with --window, shows it live")
        ->expected(0, 1)
        ->type_name("[SOURCE]");
    app.add_flag("--list-devices", o->listDevices,
                 "Print the capture devices, one name a line, as --capture takes "
                 "them, and exit")
        ->default_str("off");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        printf("%s", app.help().c_str());
        return false;
    } catch (const CLI::CallForVersion&) {
        printf("%s\n", app.version().c_str());
        return false;
    } catch (const CLI::ParseError& e) {
        Bad(e.what());
    }
    o->capture = app.count("--capture") > 0;
    // A name given empty is a mistake (a variable that was not set), not a
    // request for the default device, which is asked for by giving none.
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--capture=") == 0 || (strcmp(argv[i], "--capture") == 0 && i + 1 < argc && !*argv[i + 1]))
            Bad("--capture \"\": the device name is empty (give none for what the machine is playing)");
    const std::vector<std::string> extra = app.remaining();
    if (!extra.empty())
        Bad((extra[0].rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + extra[0] + " (see --help)");

    CheckSize(size, o);
    if (!ParseWhole(fps, kMinFps, kMaxFps, &o->fps))
        Bad("--fps " + fps + ": expected a whole number of frames per second from 1 to 240");
    CheckTimes(start, duration, o);
    if (o->listDevices) return true;
    if (!FindVideoQuality(o->quality)) Bad("--quality " + o->quality + ": expected draft, normal or high");
    CheckOutputs(o);
    return true;
}
