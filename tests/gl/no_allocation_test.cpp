// Counts heap allocations made by the plug-in's own code. This executable is
// linked with --wrap for the allocation functions, which reroutes the calls
// made from statically linked objects (the plug-in's among them) through the
// counters below; allocations inside shared libraries such as the GL driver
// are not counted.
#include <stddef.h>
#include <stdlib.h>

#include <new>

#include "plugin/render/frame_renderer.h"
#include "plugin/sprite/glow_sprite.h"
#include "tests/support/gl_fixture.h"

namespace {
bool counting = false;
int allocations = 0;
void Count() {
    if (counting) ++allocations;
}
}  // namespace

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);
void* __real__Znwm(size_t size);
void* __real__Znam(size_t size);

void* __wrap_malloc(size_t size) {
    Count();
    return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    Count();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* p, size_t size) {
    Count();
    return __real_realloc(p, size);
}
void* __wrap__Znwm(size_t size) {
    Count();
    return __real__Znwm(size);
}
void* __wrap__Znam(size_t size) {
    Count();
    return __real__Znam(size);
}
}

namespace {

class NoAllocation : public GlTest {};

TEST_F(NoAllocation, OnlyTheGlowImageIsEverAllocated) {
    FreeGlowImage();
    counting = true;
    ASSERT_TRUE(BuildGlowImage());
    counting = false;
    EXPECT_EQ(allocations, 1);  // the counter sees the plug-in's one allocation
    ASSERT_TRUE(CreateGlowTexture());

    static AudioBlock audio;
    RenderParams params = {&audio, kWidth, kHeight, 0, 0.0};
    allocations = 0;
    counting = true;
    for (int frame = 0; frame < 600; ++frame) {
        for (int k = 0; k < 16; ++k) audio.levels[k] = static_cast<float>((frame * 7 + k * 3) % 11) * 0.05f;
        params.time = frame / 60.0;
        params.width = kWidth - frame % 3;
        RenderFrame(&params);
    }
    counting = false;
    EXPECT_EQ(allocations, 0) << "heap allocations during 600 frames";
    FreeGlowImage();
}

}  // namespace
