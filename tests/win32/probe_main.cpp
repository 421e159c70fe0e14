// lumagrove-probe.exe: the Windows side of the checks that a test on Linux
// runs under Wine and compares with its own results.
//
//   lumagrove-probe.exe float IN OUT   reads records of kFloatCaseInputs floats
//                                      from IN, writes EvaluateFloatCases to OUT
//   lumagrove-probe.exe stack DLL      loads the plug-in, calls QueryInterface and
//                                      the slots that need no GL context, and
//                                      prints one line per call: "<name> <bytes>",
//                                      the bytes the call left on or took off the
//                                      stack beyond the caller's own arguments
//                                      (0 for the cdecl convention)
// Exit status 0 when the work was done, 1 otherwise (with a message on stderr).
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "plugin/plugin_interface.h"
#include "tests/win32/float_cases.h"

// Calls `fn` with `argCount` (0 or 1) pointer arguments the way a cdecl caller
// does (push, call, pop its own arguments) and returns how far the stack
// pointer ended up from where it started: 0 for a cdecl callee, 4 * argCount
// for a callee that pops its own arguments (stdcall). Written in assembly so
// that no compiler choice hides or causes an imbalance.
extern "C" int32_t CallMeasuringStack(const void* fn, const void* arg, int32_t argCount);
__asm__(
    ".text\n"
    ".globl _CallMeasuringStack\n"
    "_CallMeasuringStack:\n"
    "    pushl %esi\n"
    "    movl %esp, %esi\n"  // esi: the stack before the call; fn at 8, arg at 12, argCount at 16
    "    movl 16(%esi), %ecx\n"
    "    testl %ecx, %ecx\n"
    "    jz 1f\n"
    "    pushl 12(%esi)\n"
    "1:  calll *8(%esi)\n"
    "    movl 16(%esi), %ecx\n"
    "    leal (%esp,%ecx,4), %eax\n"  // the stack once the caller has popped its arguments
    "    subl %esi, %eax\n"
    "    movl %esi, %esp\n"
    "    popl %esi\n"
    "    ret\n");

namespace {

bool RunFloatCases(const char* inPath, const char* outPath) {
    FILE* in = fopen(inPath, "rb");
    if (!in) return false;
    std::vector<float> input;
    float record[kFloatCaseInputs];
    while (fread(record, sizeof record, 1, in) == 1) input.insert(input.end(), record, record + kFloatCaseInputs);
    fclose(in);
    const size_t count = input.size() / kFloatCaseInputs;
    std::vector<float> output(count * kFloatCaseOutputs);
    EvaluateFloatCases(input.data(), count, output.data());
    FILE* out = fopen(outPath, "wb");
    if (!out) return false;
    const bool written = fwrite(output.data(), sizeof(float), output.size(), out) == output.size();
    return fclose(out) == 0 && written;
}

bool RunStackCheck(const char* dllPath) {
    HMODULE module = LoadLibraryA(dllPath);
    if (!module) return false;
    FARPROC symbol = GetProcAddress(module, "QueryInterface");
    if (!symbol) return false;
    const void* entry;
    memcpy(&entry, &symbol, sizeof entry);
    printf("QueryInterface %d\n", static_cast<int>(CallMeasuringStack(entry, nullptr, 0)));
    QueryInterfaceFn query;
    memcpy(&query, &entry, sizeof query);
    const PluginDescriptor* descriptor = query();
    // Every slot that needs no GL context; slot 3 with no RenderParams draws nothing.
    for (int slot : {0, 2, 3, 4, 5, 6, 7}) {
        const void* fn;
        memcpy(&fn, &descriptor->callbacks[slot], sizeof fn);
        printf("slot%d %d\n", slot, static_cast<int>(CallMeasuringStack(fn, nullptr, slot == kSlotRender ? 1 : 0)));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "float" && argc == 4) {
        if (RunFloatCases(argv[2], argv[3])) return 0;
        fprintf(stderr, "lumagrove-probe: cannot read %s or write %s\n", argv[2], argv[3]);
        return 1;
    }
    if (command == "stack" && argc == 3) {
        if (RunStackCheck(argv[2])) return 0;
        fprintf(stderr, "lumagrove-probe: cannot load %s or find QueryInterface\n", argv[2]);
        return 1;
    }
    fprintf(stderr, "usage: lumagrove-probe float IN OUT | stack DLL\n");
    return 1;
}
