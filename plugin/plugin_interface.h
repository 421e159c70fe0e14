// plugin_interface.h - the records shared between a visualiser host and the
// Lumagrove plug-in.
//
// A host loads the library, calls its one exported function QueryInterface()
// and gets back a PluginDescriptor: a pointer to six descriptive strings
// followed by eight callback slots. Every record here lives in memory that one
// side writes and the other reads, so the field order is fixed:
//
//   PluginInfo        6 pointers to NUL-terminated strings; owned by the plug-in,
//                     static, never to be freed or written by the host.
//   PluginDescriptor  info, then callbacks[0..7]; owned by the plug-in, static,
//                     valid while the library is loaded.
//   RenderParams      audio, width, height, 4 unused bytes, time; owned by the
//                     host and only read by the plug-in (slot 3).
//   AudioBlock        10304 bytes owned by the host; the plug-in reads only the
//                     sixteen floats of `levels` at byte 10240.
//
// Target layout (4-byte pointers, e.g. 32-bit Windows): PluginInfo is 24 bytes,
// PluginDescriptor 36 bytes, RenderParams puts `time` at byte 16. These offsets
// are checked at compile time below. On a target with 8-byte pointers the same
// declarations give that target's natural layout (PluginInfo 48, descriptor 72,
// `time` at 24); a host built for that target uses the same header. `levels`
// sits at byte 10240 of the AudioBlock on every target.
//
// Callbacks use the platform's default calling convention for plain functions
// and return a one-byte bool (true = 1). Slot 3 takes a RenderParams pointer;
// every other slot takes no argument.
#ifndef LUMAGROVE_PLUGIN_INTERFACE_H
#define LUMAGROVE_PLUGIN_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define LUMAGROVE_EXPORT __declspec(dllexport)
#else
#  define LUMAGROVE_EXPORT __attribute__((visibility("default")))
#endif

struct PluginInfo {
    const char* author;
    const char* name;
    const char* version;
    const char* date;   // "YYYY-MM-DD"
    const char* email;
    const char* url;
};

struct AudioBlock {
    unsigned char hostData[10240];  // the host's own data; never read by the plug-in
    float levels[16];               // group one: 0..7, group two: 8..15
};

struct RenderParams {
    AudioBlock* audio;  // this frame's audio block
    int32_t width;      // viewport width in pixels
    int32_t height;     // viewport height in pixels
    int32_t unused;     // never read by the plug-in
    double time;        // the host's clock for this frame
};

typedef bool (*PluginCall)(void);
typedef bool (*PluginRenderCall)(const RenderParams* params);

// One callback slot: pointer-sized, holding the function type of its slot.
// Slot 3 is used through `render`, every other slot through `call`.
union PluginSlot {
    PluginCall call;
    PluginRenderCall render;
};

struct PluginDescriptor {
    PluginInfo* info;
    PluginSlot callbacks[8];
};

// Slot numbers, in the order a host uses them.
enum PluginSlotIndex {
    kSlotBuildImage = 0,     // allocate and fill the glow image (no GL needed)
    kSlotCreateTexture = 1,  // upload the glow image (GL context current)
    kSlotRender = 3,         // draw one frame
    kSlotFreeImage = 4,      // release the glow image; frames may still follow
};

// The exported entry point: `extern "C" PluginDescriptor* QueryInterface(void)`.
typedef PluginDescriptor* (*QueryInterfaceFn)(void);

static_assert(sizeof(bool) == 1, "callbacks return a one-byte boolean");
static_assert(sizeof(PluginSlot) == sizeof(void*), "a slot is one pointer");
static_assert(offsetof(AudioBlock, levels) == 10240, "levels at byte 10240");
static_assert(sizeof(AudioBlock) == 10304, "AudioBlock is 10304 bytes");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PluginInfo) == 24, "PluginInfo is 24 bytes");
static_assert(offsetof(PluginInfo, url) == 20, "url at byte 20");
static_assert(sizeof(PluginDescriptor) == 36, "PluginDescriptor is 36 bytes");
static_assert(offsetof(PluginDescriptor, callbacks) == 4, "callbacks at byte 4");
static_assert(offsetof(RenderParams, width) == 4, "width at byte 4");
static_assert(offsetof(RenderParams, height) == 8, "height at byte 8");
static_assert(offsetof(RenderParams, unused) == 12, "unused at byte 12");
static_assert(offsetof(RenderParams, time) == 16, "time at byte 16");
static_assert(sizeof(RenderParams) == 24, "RenderParams is 24 bytes");
#endif

#endif
