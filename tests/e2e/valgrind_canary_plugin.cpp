// A plug-in with two memory faults planted where the real plug-in's code
// runs: slot 0 loses a block (a definite leak) and slot 3 branches on heap
// memory nobody set (an uninitialised read, inside the host's GL context).
// The valgrind test runs the preview host with it to show that its
// suppressions, meant for the GL stack, hide neither.
#include <stdlib.h>

#include "plugin/plugin_interface.h"

namespace {

// Stores go through volatile pointers so the compiler keeps every fault.
char* volatile lastBlock = nullptr;
volatile int branchesTaken = 0;

bool LoseABlock() {
    lastBlock = static_cast<char*>(malloc(4096));
    lastBlock = nullptr;  // the only pointer to it is gone
    return true;
}

bool Succeed() { return true; }

bool BranchOnUnsetMemory(const RenderParams* params) {
    volatile float* unset = static_cast<volatile float*>(malloc(16 * sizeof(float)));
    if (unset[3] > params->audio->levels[3]) branchesTaken = branchesTaken + 1;
    free(const_cast<float*>(unset));
    return true;
}

PluginInfo info = {"tests", "valgrind canary", "1", "2024-01-01", "", ""};
PluginDescriptor descriptor = {&info, {}};

}  // namespace

extern "C" LUMAGROVE_EXPORT PluginDescriptor* QueryInterface(void) {
    descriptor.callbacks[kSlotBuildImage].call = LoseABlock;
    descriptor.callbacks[kSlotCreateTexture].call = Succeed;
    descriptor.callbacks[kSlotRender].render = BranchOnUnsetMemory;
    descriptor.callbacks[kSlotFreeImage].call = Succeed;
    return &descriptor;
}
