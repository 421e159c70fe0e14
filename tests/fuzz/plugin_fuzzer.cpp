// libFuzzer target: the plug-in driven the way a careless or hostile host
// might drive it. The input is a script of up to 64 operations, each one byte
// choosing a slot of the descriptor (or QueryInterface itself), slot 3 followed
// by the bytes of its RenderParams and levels. After every frame the GL state
// must be the one a frame promises. The bytes of the AudioBlock before
// `levels` and the unused bytes of RenderParams are poisoned, so
// AddressSanitizer reports any read of them; the block ends exactly at byte
// 10304, so a read past it is reported too.
#include <sanitizer/asan_interface.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "host/gl/gl_context.h"
#include "plugin/plugin_interface.h"
#include "plugin/sprite/glow_sprite.h"
#include "tests/support/frame_state.h"

extern "C" PluginDescriptor* QueryInterface(void);

namespace {

const int kWidth = 67, kHeight = 45;

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    // The next `n` bytes into `out`, zero-filled past the end of the input.
    void Take(void* out, size_t n) {
        memset(out, 0, n);
        const size_t available = at_ < size_ ? size_ - at_ : 0;
        memcpy(out, data_ + at_, n < available ? n : available);
        at_ += n;
    }
    uint8_t Byte() {
        uint8_t b;
        Take(&b, 1);
        return b;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

struct HostMemory {
    HostMemory() {
        audio = static_cast<AudioBlock*>(malloc(sizeof(AudioBlock)));
        params = static_cast<RenderParams*>(malloc(sizeof(RenderParams)));
        ASAN_POISON_MEMORY_REGION(audio->hostData, sizeof audio->hostData);
        ASAN_POISON_MEMORY_REGION(&params->unused, sizeof params->unused);
    }
    AudioBlock* audio;
    RenderParams* params;
};

void Fail(const char* what, const std::string& detail) {
    fprintf(stderr, "plugin_fuzzer: %s: %s\n", what, detail.c_str());
    abort();
}

void RenderFromScript(Script& script, const PluginDescriptor* descriptor, HostMemory& host) {
    const uint8_t flags = script.Byte();
    int32_t width, height;
    double time;
    script.Take(&width, sizeof width);
    script.Take(&height, sizeof height);
    script.Take(&time, sizeof time);
    script.Take(host.audio->levels, sizeof host.audio->levels);
    // Mostly sensible sizes, so the viewport check runs; sometimes anything at all.
    if (!(flags & 4)) {
        width = 1 + static_cast<int32_t>(static_cast<uint32_t>(width) % 2048);
        height = 1 + static_cast<int32_t>(static_cast<uint32_t>(height) % 2048);
    }
    host.params->audio = (flags & 1) ? nullptr : host.audio;
    host.params->width = width;
    host.params->height = height;
    host.params->time = time;

    const bool drawn = descriptor->callbacks[kSlotRender].render((flags & 2) ? nullptr : host.params);
    if (flags & 2) {
        if (drawn) Fail("render", "a null RenderParams was accepted");
        return;
    }
    if (!drawn) Fail("render", "a frame was refused");
    const std::string fault = FrameStateFault(width, height);
    if (!fault.empty()) Fail("state after a frame", fault);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static OffscreenContext* context = new OffscreenContext(kWidth, kHeight);
    static HostMemory host;
    (void)context;

    Script script(data, size);
    PluginDescriptor* descriptor = QueryInterface();
    std::vector<GLuint> textures;
    for (int op = 0; op < 64 && !script.empty(); ++op) {
        const int choice = script.Byte() % 10;
        if (choice == kSlotRender) {
            RenderFromScript(script, descriptor, host);
        } else if (choice < 8) {
            const bool ok = descriptor->callbacks[choice].call();
            if (choice == kSlotCreateTexture && ok) textures.push_back(glowTexture);
        } else if (choice == 8) {
            descriptor->callbacks[script.Byte() % 8].call = nullptr;  // a host scribbling on the table
            descriptor->info = nullptr;
            descriptor = QueryInterface();
            if (!descriptor->info || !descriptor->callbacks[kSlotRender].render)
                Fail("QueryInterface", "fields not restored");
        } else {
            descriptor = QueryInterface();
        }
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // Start the next input from a fresh load: the host owns and deletes the textures.
    FreeGlowImage();
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    glowTexture = 0;
    return 0;
}
