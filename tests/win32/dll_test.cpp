// The 32-bit Windows DLL as a Windows host sees it: its export and import
// tables, the calling convention of its slots, and its arithmetic.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/win32/float_cases.h"
#include "tests/win32/wine_session.h"

namespace {

std::string InBuild(const std::string& name) { return Win32BuildDir() + "/" + name; }

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// What `objdump -p` says about a PE file's tables.
struct PeTables {
    std::string format;                // "pei-i386" for 32-bit Windows
    std::vector<std::string> exports;  // the export name table, in order
    int exportAddresses = 0;           // entries of the export address table
    std::set<std::string> imports;     // imported DLL names, lower case
};

PeTables ReadPeTables(const std::string& path) {
    const ProgramResult dump = RunProgram({LUMAGROVE_OBJDUMP, "-p", path}, 60);
    EXPECT_EQ(dump.status, 0) << dump.err;
    PeTables t;
    enum { kNone, kAddresses, kNames } section = kNone;
    for (const std::string& line : Lines(dump.out)) {
        const size_t format = line.find("file format ");
        if (format != std::string::npos) t.format = line.substr(format + 12);
        const size_t dll = line.find("DLL Name: ");
        if (dll != std::string::npos) t.imports.insert(Lower(line.substr(dll + 10)));
        if (line.empty()) section = kNone;
        else if (line.rfind("Export Address Table -- Ordinal Base", 0) == 0) section = kAddresses;
        else if (line.rfind("[Ordinal/Name Pointer] Table", 0) == 0) section = kNames;
        else if (section == kAddresses && line.find('[') != std::string::npos) ++t.exportAddresses;
        else if (section == kNames && line.find(']') != std::string::npos)
            t.exports.push_back(line.substr(line.find(']') + 2));
    }
    return t;
}

TEST(Win32Dll, ExportsQueryInterfaceAloneUndecorated) {
    const PeTables t = ReadPeTables(InBuild("lumagrove.dll"));
    EXPECT_EQ(t.format, "pei-i386");
    // Not "_QueryInterface" (a C++ or underscore-prefixed name), not
    // "QueryInterface@0" (stdcall): exactly the name a host asks GetProcAddress for.
    EXPECT_EQ(t.exports, std::vector<std::string>{"QueryInterface"});
    EXPECT_EQ(t.exportAddresses, 1) << "an export by ordinal only would not show in the name table";
}

TEST(Win32Dll, ImportsOnlyWindowsOwnGlAndRuntime) {
    const PeTables t = ReadPeTables(InBuild("lumagrove.dll"));
    // No libgcc_s, libstdc++ or libwinpthread DLL: a host's machine has none.
    EXPECT_EQ(t.imports, (std::set<std::string>{"opengl32.dll", "glu32.dll", "kernel32.dll", "msvcrt.dll"}));
}

TEST(Win32Dll, PreviewHostNeedsOnlySystemDlls) {
    const PeTables t = ReadPeTables(InBuild("lumagrove-preview.exe"));
    EXPECT_EQ(t.format, "pei-i386");
    const std::set<std::string> system = {"opengl32.dll", "gdi32.dll", "user32.dll", "kernel32.dll", "msvcrt.dll"};
    for (const std::string& dll : t.imports) EXPECT_TRUE(system.count(dll)) << dll << " is not part of Windows";
}

// "name bytes" lines from the probe: bytes a cdecl caller finds moved after each call.
std::vector<std::string> StackReport(const std::string& dll) {
    const ProgramResult probe = RunUnderWine({InBuild("lumagrove-probe.exe"), "stack", InBuild(dll)});
    EXPECT_EQ(probe.status, 0) << probe.err;
    std::vector<std::string> lines;
    for (const std::string& line : Lines(probe.out))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

TEST(Win32Dll, EntryAndSlotsUseTheCdeclConvention) {
    LUMAGROVE_NEEDS_WINE();
    const std::vector<std::string> expected = {"QueryInterface 0", "slot0 0", "slot2 0", "slot3 0",
                                               "slot4 0",          "slot5 0", "slot6 0", "slot7 0"};
    EXPECT_EQ(StackReport("lumagrove.dll"), expected);
}

TEST(Win32Dll, StackCheckCatchesAStdcallRenderSlot) {
    LUMAGROVE_NEEDS_WINE();
    // The render slot is the one that takes an argument, so only it can show
    // the difference: a stdcall callee pops its 4 bytes itself.
    const std::vector<std::string> report = StackReport("stdcall-plugin.dll");
    EXPECT_NE(std::find(report.begin(), report.end(), "slot3 4"), report.end()) << ::testing::PrintToString(report);
}

// Mnemonics of the x87 instructions that compute. Loads and stores (fld, fst,
// fstp) stay allowed: the 32-bit ABI returns a libm double in st(0), and
// moving it to memory is exact.
bool IsX87Arithmetic(const std::string& mnemonic) {
    static const char* const kPrefixes[] = {"fadd",  "fsub",   "fmul",  "fdiv",   "fsqrt", "fsin",  "fcos",
                                            "fptan", "fpatan", "fprem", "fscale", "fyl2x", "f2xm1", "frndint",
                                            "fiadd", "fisub",  "fimul", "fidiv",  "fist",  "fild",  "fabs",
                                            "fchs",  "fcom",   "fucom", "ftst"};
    for (const char* prefix : kPrefixes)
        if (mnemonic.rfind(prefix, 0) == 0) return true;
    return false;
}

TEST(Win32Dll, PluginCodeComputesWithSse2DoublesNotX87) {
    // The objects the DLL is linked from (the libm it links is MinGW's own).
    std::vector<std::string> objects;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(InBuild("CMakeFiles/lumagrove_objects.dir")))
        if (entry.path().extension() == ".obj") objects.push_back(entry.path());
    ASSERT_EQ(objects.size(), 5u);
    int sse2Double = 0;
    for (const std::string& object : objects) {
        const ProgramResult dump = RunProgram({LUMAGROVE_OBJDUMP, "-d", "--no-show-raw-insn", object}, 60);
        ASSERT_EQ(dump.status, 0) << dump.err;
        for (const std::string& line : Lines(dump.out)) {
            std::istringstream fields(line);
            std::string address, mnemonic;
            if (!(fields >> address >> mnemonic) || address.back() != ':') continue;
            EXPECT_FALSE(IsX87Arithmetic(mnemonic)) << object << ": " << line;
            if (mnemonic == "mulsd" || mnemonic == "addsd" || mnemonic == "divsd" || mnemonic == "sqrtsd") ++sse2Double;
        }
    }
    EXPECT_GT(sse2Double, 20) << "the double arithmetic should be SSE2 instructions";
}

std::vector<float> ReadFloats(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> floats(bytes.size() / sizeof(float));
    memcpy(floats.data(), bytes.data(), floats.size() * sizeof(float));
    return floats;
}

// Outputs of one probe over `input`, under Wine.
std::vector<float> ProbeFloats(const std::string& probe, const std::string& inPath, size_t count) {
    const std::string outPath = inPath + "." + probe + ".out";
    const ProgramResult run = RunUnderWine({InBuild(probe), "float", inPath, outPath});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<float> out = ReadFloats(outPath);
    remove(outPath.c_str());
    EXPECT_EQ(out.size(), count * kFloatCaseOutputs) << probe;
    return out;
}

// Positions where two outputs differ in any bit.
size_t BitDifferences(const std::vector<float>& a, const std::vector<float>& b) {
    size_t n = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) n += memcmp(&a[i], &b[i], sizeof(float)) != 0;
    return n;
}

TEST(Win32Dll, ArithmeticMatchesIeeeDoubleBitForBit) {
    LUMAGROVE_NEEDS_WINE();
    // Matrices and vectors with elements over six decades, as camera matrices,
    // their products and inverses reach.
    const size_t kCount = 20000;
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> mantissa(-2.0f, 2.0f);
    std::uniform_int_distribution<int> decade(-3, 3);
    std::vector<float> input(kCount * kFloatCaseInputs);
    for (float& x : input) x = mantissa(random) * powf(10.0f, static_cast<float>(decade(random)));
    const std::string inPath = ::testing::TempDir() + "lumagrove-float-cases.bin";
    {
        std::ofstream in(inPath, std::ios::binary);
        in.write(reinterpret_cast<const char*>(input.data()), input.size() * sizeof(float));
    }

    // x86-64 always does double arithmetic in SSE2: the reference.
    std::vector<float> reference(kCount * kFloatCaseOutputs);
    EvaluateFloatCases(input.data(), kCount, reference.data());
    const std::vector<float> dll = ProbeFloats("lumagrove-probe.exe", inPath, kCount);
    const std::vector<float> x87 = ProbeFloats("lumagrove-probe-x87.exe", inPath, kCount);
    remove(inPath.c_str());

    EXPECT_EQ(BitDifferences(dll, reference), 0u) << "the Windows build's numbers differ from IEEE double";
    // The same code on the x87 unit rounds differently in a good share of the
    // outputs, so these inputs would show the wrong flags.
    EXPECT_GT(BitDifferences(x87, reference), reference.size() / 100) << "the inputs do not tell x87 from SSE2";
}

}  // namespace
