// The built module, loaded the way a host loads it.
#include <string.h>

#include "host/base/host_error.h"
#include "host/loader/plugin_loader.h"
#include "tests/support/gl_fixture.h"

namespace {

class PluginModule : public GlTest {};

TEST_F(PluginModule, DrivesEverySlotInTheHostOrder) {
    PluginLibrary plugin(LUMAGROVE_MODULE_PATH);
    EXPECT_STREQ(plugin.info().name, "Quillfen::Lumagrove");
    plugin.Start([] {});  // the fixture's context is already current

    static AudioBlock audio;
    memset(&audio, 0xFF, sizeof audio.hostData);  // host bytes the plug-in must ignore
    for (float& level : audio.levels) level = 0.2f;
    const RenderParams params = {&audio, kWidth, kHeight, 0, 21.5};
    plugin.Render(params);
    const std::vector<uint8_t> pixels = Pixels();
    size_t bright = 0;
    for (size_t k = 0; k < pixels.size(); k += 4)
        bright += pixels[k] > 200 && pixels[k + 1] > 200 && pixels[k + 2] > 200;
    EXPECT_GT(bright, 50u);  // where the three glows and the outline add up to white
}

TEST(PluginModuleLoading, NamesTheFileAndTheFault) {
    try {
        PluginLibrary plugin("/nonexistent/lumagrove.so");
        FAIL() << "loaded a missing file";
    } catch (const HostError& e) {
        EXPECT_EQ(e.fault, Fault::kBadInput);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/lumagrove.so"), std::string::npos);
    }
    try {
        PluginLibrary plugin("libz.so.1");  // a real library without the entry point
        FAIL() << "accepted a library without QueryInterface";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("does not export QueryInterface"), std::string::npos);
    }
}

}  // namespace
