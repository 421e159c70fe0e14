// lumagrove-preview: loads a visualiser plug-in as a host would and renders
// its frames offscreen.
//
//   lumagrove-preview [--plugin PATH] [--out FILE.png] [--size WxH] [--time SECONDS] [--level L]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/gl_context.h"
#include "host/host_error.h"
#include "host/plugin_loader.h"
#include "host/png_writer.h"
#include "render/gl.h"

namespace {

struct Options {
    std::string plugin;
    std::string out = "frame.png";
    int width = 1280;
    int height = 720;
    double time = 12.0;
    float level = 0.15f;
};

std::string DefaultPluginPath() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "lumagrove.so";
    exe[n] = '\0';
    std::string dir(exe);
    return dir.substr(0, dir.rfind('/') + 1) + "lumagrove.so";
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.plugin = DefaultPluginPath();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) throw HostError(kExitBadInput, "option " + arg + " needs a value");
        const char* value = argv[++i];
        if (arg == "--plugin") o.plugin = value;
        else if (arg == "--out") o.out = value;
        else if (arg == "--time") o.time = atof(value);
        else if (arg == "--level") o.level = static_cast<float>(atof(value));
        else if (arg == "--size") {
            if (sscanf(value, "%dx%d", &o.width, &o.height) != 2 || o.width < 16 || o.height < 16 ||
                o.width > 8192 || o.height > 8192)
                throw HostError(kExitBadInput, std::string("--size ") + value + ": expected WxH, each 16 to 8192");
        } else {
            throw HostError(kExitBadInput, "unknown option " + arg);
        }
    }
    return o;
}

void Run(const Options& o) {
    PluginLibrary plugin(o.plugin);
    plugin.BuildImage();
    OffscreenContext context(o.width, o.height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    plugin.CreateTexture();
    plugin.FreeImage();

    static AudioBlock audio;
    for (float& level : audio.levels) level = o.level;
    RenderParams params = {&audio, o.width, o.height, 0, o.time};
    plugin.Render(params);

    std::vector<uint8_t> pixels(static_cast<size_t>(o.width) * o.height * 4);
    context.ReadTopDown(pixels.data());
    WritePng(o.out, TopDownRgbaImage(pixels.data(), o.width, o.height));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Run(ParseOptions(argc, argv));
        return kExitOk;
    } catch (const HostError& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return e.status;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return kExitFailure;
    }
}
