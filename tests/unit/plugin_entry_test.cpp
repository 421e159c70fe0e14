#include <gtest/gtest.h>
#include <string.h>

#include "plugin/plugin_interface.h"
#include "plugin/render/frame_renderer.h"
#include "plugin/sprite/glow_sprite.h"

extern "C" PluginDescriptor* QueryInterface(void);

namespace {

TEST(QueryInterface, ReturnsTheSameDescriptorEveryTime) {
    PluginDescriptor* first = QueryInterface();
    ASSERT_NE(first, nullptr);
    PluginDescriptor snapshot;
    memcpy(&snapshot, first, sizeof snapshot);
    PluginInfo info;
    memcpy(&info, first->info, sizeof info);

    PluginDescriptor* second = QueryInterface();
    EXPECT_EQ(second, first);
    EXPECT_EQ(memcmp(&snapshot, second, sizeof snapshot), 0);
    EXPECT_EQ(memcmp(&info, second->info, sizeof info), 0);
}

TEST(QueryInterface, DescribesThePlugIn) {
    const PluginInfo& info = *QueryInterface()->info;
    EXPECT_STREQ(info.author, "Ferk / Druvin");
    EXPECT_STREQ(info.name, "Quillfen::Lumagrove");
    EXPECT_STREQ(info.version, "0.1");
    EXPECT_STREQ(info.date, "0000-00-00");
    ASSERT_NE(info.email, nullptr);
    EXPECT_NE(strchr(info.email, '@'), nullptr);
    ASSERT_NE(info.url, nullptr);
    EXPECT_EQ(strncmp(info.url, "http", 4), 0);
}

TEST(QueryInterface, SlotsHoldTheCallbacksInTheirPlaces) {
    const PluginDescriptor* d = QueryInterface();
    EXPECT_EQ(d->callbacks[0].call, &BuildGlowImage);
    EXPECT_EQ(d->callbacks[1].call, &CreateGlowTexture);
    EXPECT_EQ(d->callbacks[3].render, &RenderFrame);
    EXPECT_EQ(d->callbacks[4].call, &FreeGlowImage);
    for (int slot : {5, 6, 7}) EXPECT_EQ(d->callbacks[slot].call, d->callbacks[2].call) << "slot " << slot;
}

TEST(QueryInterface, RestoresFieldsTheHostOverwrote) {
    PluginDescriptor* d = QueryInterface();
    d->callbacks[3].render = nullptr;
    d->callbacks[6].call = nullptr;
    d->info->version = "9.9";
    d->info = nullptr;
    d = QueryInterface();
    EXPECT_EQ(d->callbacks[3].render, &RenderFrame);
    EXPECT_NE(d->callbacks[6].call, nullptr);
    ASSERT_NE(d->info, nullptr);
    EXPECT_STREQ(d->info->version, "0.1");
}

TEST(QueryInterface, IdleSlotsReturnTrueAndTouchNothing) {
    const PluginDescriptor* d = QueryInterface();
    ASSERT_TRUE(BuildGlowImage());
    const uint32_t* image = GlowImagePixels();
    const unsigned int texture = glowTexture;
    for (int slot : {2, 5, 6, 7}) EXPECT_TRUE(d->callbacks[slot].call()) << "slot " << slot;
    EXPECT_EQ(GlowImagePixels(), image);
    EXPECT_EQ(glowTexture, texture);
    FreeGlowImage();
}

TEST(RenderFrame, NullParamsIsRefused) {
    // No GL context here: returning false without a GL call is the only safe outcome.
    EXPECT_FALSE(RenderFrame(nullptr));
}

}  // namespace
