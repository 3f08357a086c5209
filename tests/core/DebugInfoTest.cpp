// The debug information: reading a link map with its source lines, the
// DebugInfo.EIF layout, looking addresses up, the start-up step with the
// registry stand-in, and the error report's lines.
#include "app/FileError.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "app/ToolsRegistry.h"
#include "diag/ErrorReport.h"
#include "diag/MAPModule.h"
#include "diag/ThrowSite.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <map>

#include <cstdlib>
#include <stdexcept>
#include <thread>

using namespace paddock;
using namespace paddock::testing;

namespace {

// A map as the linker writes it: two segments, three units (Main listed
// twice: the first entry wins), the publics, and line blocks: Main's lines
// listed 10, 12, 11 and 25 (past the end of its 20-line source); Tools's first block replaced by a second; a block for a
// unit that has no range.
const char* const SmallMap = R"(
 Start         Length     Name                   Class
 0001:00000000 00001000H  .text                  CODE
 0002:00000000 00000200H  .data                  DATA

Detailed map of segments

 0001:00000100 00000100 C=CODE     S=.text    G=(none)   M=Main ACBP=A9
 0001:00000200 00000080 C=CODE     S=.text    G=(none)   M=Tools ACBP=A9
 0001:00000100 00000300 C=CODE     S=.text    G=(none)   M=Main ACBP=A9

  Address         Publics by Name

 0001:00000110       TMainForm.FormCreate

  Address         Publics by Value

 0001:00000000       Start
 0001:00000110       TMainForm.FormCreate
 0001:00000180       TMainForm.Exit1Click
 0001:00000180       TMainForm.Exit1ClickAlias
 0001:00000210       Tools.ListFiles

Line numbers for Main(Main.cpp) segment .text

    10 0001:00000110    12 0001:00000140    11 0001:00000150
    25 0001:00000160

Line numbers for Tools(Tools.cpp) segment .text

     1 0001:00000200

Line numbers for Tools(Tools.cpp) segment .text

     3 0001:00000210     4 0001:00000230

Line numbers for Nowhere(Nowhere.cpp) segment .text

     7 0001:00000400
)";

std::string numbered(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "line " + std::to_string(i) + " of the source\r\n";
    return text;
}

[[gnu::noinline]] void throwOnPurpose()
{
    throw std::runtime_error("thrown on purpose");
}

[[gnu::noinline]] void throwAnother()
{
    throw std::logic_error("another");
}

// Whether a throw site lies in the function, whose code is far shorter than
// this.
bool inFunction(std::uintptr_t site, void (*function)())
{
    const auto start = reinterpret_cast<std::uintptr_t>(function);
    return site > start && site < start + 4096;
}

class DebugInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = Settings;
        WriteBytes(dir / "src/Main.cpp", numbered(1, 20));
        WriteBytes(dir / "src/Tools.cpp", "first\n  second  \nthird\nfourth\n");
        WriteBytes(dir / "app.map", SmallMap);
    }
    void TearDown() override { Settings = saved_; }

    std::vector<std::string> sources() const { return {dir / "empty", dir / "src"}; }

    TempDir dir;
    TSettings saved_;
};

} // namespace

TEST_F(DebugInfoTest, TheMapGivesUnitsPublicsAndLinesWithTheirSourceTexts)
{
    const TMAPStruct info = ReadLinkMap(dir / "app.map", sources());
    EXPECT_EQ(info.ReservedCount, 2u);
    ASSERT_EQ(info.Modules.size(), 3u);
    EXPECT_EQ(info.Modules[0].Name, "Main");
    EXPECT_EQ(info.Modules[0].Start, 0x100u);
    EXPECT_EQ(info.Modules[0].Length, 0x100u);
    EXPECT_EQ(info.Modules[0].Segment, 1);
    ASSERT_EQ(info.Publics.size(), 5u);
    EXPECT_EQ(info.Publics[2].Name, "TMainForm.Exit1Click");
    EXPECT_EQ(info.Publics[2].Offset, 0x180u);

    // Lines 10, 12, 11, kept in the map's order: each entry has the text of
    // its own line, also one listed after a later line.
    ASSERT_EQ(info.Modules[0].Lines.size(), 4u);
    EXPECT_EQ(info.Modules[0].Lines[0].Text, "line 10 of the source");
    EXPECT_EQ(info.Modules[0].Lines[1].Text, "line 12 of the source");
    EXPECT_EQ(info.Modules[0].Lines[2].LineNumber, 11);
    EXPECT_EQ(info.Modules[0].Lines[2].Text, "line 11 of the source");
    // A line past the end of the file has no text.
    EXPECT_EQ(info.Modules[0].Lines[3].LineNumber, 25);
    EXPECT_EQ(info.Modules[0].Lines[3].Text, "");
    // Only the first module of a name gets the lines; a later block
    // replaces an earlier one; texts are kept as they are.
    EXPECT_TRUE(info.Modules[2].Lines.empty());
    ASSERT_EQ(info.Modules[1].Lines.size(), 2u);
    EXPECT_EQ(info.Modules[1].Lines[0].LineNumber, 3);
    EXPECT_EQ(info.Modules[1].Lines[0].Text, "third");
    EXPECT_EQ(info.Modules[1].Lines[1].Text, "fourth");

    // Without the source files the texts stay empty.
    const TMAPStruct bare = ReadLinkMap(dir / "app.map", {});
    EXPECT_EQ(bare.Modules[0].Lines[0].Text, "");

    // A map that ends where a heading or a line is still expected ends the
    // reading; a line number that is not a number is refused.
    WriteBytes(dir / "short.map", "\n Start Length\n 0001:00000000 00001000H\n\nDetailed map\n\n");
    const TMAPStruct cut = ReadLinkMap(dir / "short.map", {});
    EXPECT_EQ(cut.ReservedCount, 1u);
    EXPECT_TRUE(cut.Modules.empty() && cut.Publics.empty());
    std::string bad = SmallMap;
    bad.replace(bad.find("    12 "), 7, "    1x ");
    WriteBytes(dir / "bad.map", bad);
    EXPECT_THROW(ReadLinkMap(dir / "bad.map", {}), EFileError);
    EXPECT_THROW(ReadLinkMap(dir / "missing.map", {}), EFileError);
}

TEST_F(DebugInfoTest, LookupFindsTheFirstUnitTheNearestLinesAndThePrecedingFunction)
{
    const TMAPStruct info = ReadLinkMap(dir / "app.map", sources());
    // Exactly at a line: both lines are that one.
    TErrorData hit = LookupAddress(0x140, info);
    EXPECT_EQ(hit.FileName, "Main");
    EXPECT_EQ(hit.FunctionName, "TMainForm.FormCreate");
    EXPECT_EQ(hit.LineBefore, 12);
    EXPECT_EQ(hit.LineAfter, 12);
    EXPECT_EQ(hit.TextBefore, "line 12 of the source");
    // Between two lines.
    TErrorData between = LookupAddress(0x148, info);
    EXPECT_EQ(between.LineBefore, 12);
    EXPECT_EQ(between.LineAfter, 11);
    EXPECT_EQ(between.TextAfter, "line 11 of the source");
    // Before the unit's first line: nothing before, the first after.
    TErrorData early = LookupAddress(0x104, info);
    EXPECT_EQ(early.LineBefore, 0);
    EXPECT_EQ(early.TextBefore, "");
    EXPECT_EQ(early.LineAfter, 10);
    // The public at offset 0 is never the function.
    EXPECT_EQ(early.FunctionName, "Unknown");
    // Two publics at one offset: the first listed.
    EXPECT_EQ(LookupAddress(0x190, info).FunctionName, "TMainForm.Exit1Click");
    // The first unit that holds the address wins, even when a later one
    // holds it too; outside every unit the file is unknown.
    EXPECT_EQ(LookupAddress(0x220, info).FileName, "Tools");
    TErrorData outside = LookupAddress(0x500, info);
    EXPECT_EQ(outside.FileName, "Unknown");
    EXPECT_EQ(outside.LineBefore, 0);
    EXPECT_EQ(outside.LineAfter, 0);
    EXPECT_EQ(outside.FunctionName, "Tools.ListFiles");
}

TEST_F(DebugInfoTest, TheFileLayoutIsFixedAndEveryTruncationIsRefused)
{
    TMAPStruct info;
    info.ReservedCount = 1;
    TMAPSegDetails unit;
    unit.Start = 0x10;
    unit.Length = 0x20;
    unit.Segment = 1;
    unit.Name = "U";
    unit.Lines.push_back({0x14, 7, std::string(300, 'x')});
    info.Modules.push_back(unit);
    info.Publics.push_back({1, 0x12, "f"});
    SaveDebugInfo(info, dir / "d.EIF");
    const std::string bytes = ReadBytes(dir / "d.EIF");
    std::string expected("\x01\0\0\0", 4);
    expected += std::string(100, '\0');
    expected += std::string("\x01\0\0\0" "\x10\0\0\0" "\x20\0\0\0" "\x01" "\x01" "U" "\x01\0", 17);
    // A text of 300 bytes keeps its first 255, as many as a length byte
    // counts.
    expected += std::string("\x14\0\0\0" "\x07\0\0\0" "\xFF", 9) + std::string(255, 'x');
    expected += std::string("\x01\0\0\0" "\x01" "\x12\0\0\0" "\x01" "f", 11);
    EXPECT_EQ(bytes, expected);

    TMAPStruct back = LoadDebugInfo(dir / "d.EIF");
    info.Modules[0].Lines[0].Text.resize(255);
    EXPECT_EQ(back, info);

    // Names and texts of 255 bytes or more keep 255; shorter ones stay whole.
    TMAPStruct longer = info;
    longer.Modules[0].Name = std::string(256, 'n');
    longer.Modules[0].Lines.push_back({0x16, 8, std::string(511, 't')});
    longer.Modules[0].Lines.push_back({0x18, 9, std::string(254, 'u')});
    longer.Publics[0].Name = std::string(281, 'f');
    SaveDebugInfo(longer, dir / "long.EIF");
    back = LoadDebugInfo(dir / "long.EIF");
    EXPECT_EQ(back.Modules[0].Name, std::string(255, 'n'));
    ASSERT_EQ(back.Modules[0].Lines.size(), 3u);
    EXPECT_EQ(back.Modules[0].Lines[1].Text, std::string(255, 't'));
    EXPECT_EQ(back.Modules[0].Lines[2].Text, std::string(254, 'u'));
    EXPECT_EQ(back.Publics[0].Name, std::string(255, 'f'));

    for (std::size_t length = 0; length < bytes.size(); ++length) {
        WriteBytes(dir / "t.EIF", bytes.substr(0, length));
        EXPECT_THROW(LoadDebugInfo(dir / "t.EIF"), EReadError) << length;
    }
    // Counts that no file of this size can hold are refused before anything
    // is allocated for them.
    // The reserved count, the module count, the first module's line count.
    for (const std::size_t at : {std::size_t(0), std::size_t(104), std::size_t(119)}) {
        std::string huge = bytes;
        huge[at] = '\xFF';
        huge[at + 1] = '\xFF';
        if (at != 119) {
            huge[at + 2] = '\xFF';
            huge[at + 3] = '\x7F';
        }
        WriteBytes(dir / "h.EIF", huge);
        EXPECT_THROW(LoadDebugInfo(dir / "h.EIF"), EReadError) << at;
    }

    // What the builder writes from a map reads back the same.
    BuildDebugInfo(dir / "app.map", dir / "m.EIF", sources());
    EXPECT_EQ(LoadDebugInfo(dir / "m.EIF"), ReadLinkMap(dir / "app.map", sources()));
}

namespace {

struct RegistryValue {
    std::string key;
    std::string name;
    std::string value;
};

// Writes text values under HKEY_CURRENT_USER: on Windows into the registry
// with reg.exe (the key Software\Paddock is removed first, and no values
// leave it removed), elsewhere into the stand-in store.
void WriteRegistry(const std::vector<RegistryValue>& values, const std::string& store)
{
#ifdef _WIN32
    (void)store;
    const auto quoted = [](const std::string& text) {
        std::wstring arg = ToPath(text).wstring();
        // A backslash before the closing quote would escape it.
        if (!arg.empty() && arg.back() == L'\\')
            arg += L'\\';
        return L"\"" + arg + L"\"";
    };
    _wsystem(L"reg delete \"HKCU\\Software\\Paddock\" /f >NUL 2>NUL");
    for (const RegistryValue& v : values) {
        const std::wstring command = L"reg add " + quoted("HKCU\\" + v.key) + L" /v " + quoted(v.name) + L" /d " +
                                     quoted(v.value) + L" /f >NUL";
        ASSERT_EQ(_wsystem(command.c_str()), 0) << v.key << " " << v.name;
    }
#else
    if (values.empty()) {
        std::filesystem::remove(store);
        return;
    }
    std::map<std::string, std::string> sections;
    for (const RegistryValue& v : values)
        sections[v.key] += v.name + "=" + v.value + "\n";
    std::string text;
    for (const auto& [key, lines] : sections)
        text += "[HKEY_CURRENT_USER\\" + key + "]\n" + lines;
    WriteBytes(store, text);
#endif
}

} // namespace

TEST_F(DebugInfoTest, StartUpFindsTheSourcesThroughTheRegistry)
{
    const std::string root = dir / "env" + PathDelim;
    const std::string prog = dir / "prog/";
    // The search path as the development environment writes it, taken as
    // it is.
    const std::string d = dir.path();
    EXPECT_EQ(SourceDirsFromSearchPath(prog, "$(IDEDIR)/Lib;" + d + "src;$(ideDir)/$(IDEDIR)", root),
              (std::vector<std::string>{prog, d + "env/Lib", d + "src", d + "env" + "/" + d + "env"}));
    EXPECT_TRUE(SourceDirsFromSearchPath(prog, "", root).empty());
    // A root folder whose name holds the macro is taken as it is.
    EXPECT_EQ(SourceDirsFromSearchPath(prog, "$(IDEDIR)/Lib;$(idedir)", "/d/$(IDEDIR)/$(ideDir)/"),
              (std::vector<std::string>{prog, "/d/$(IDEDIR)/$(ideDir)/Lib", "/d/$(IDEDIR)/$(ideDir)"}));

    // The store's sections are key paths (on Windows, the registry's keys,
    // written as a user would with reg.exe); a missing store, key or value
    // gives the default.
    const std::optional<std::string> savedStore = GetEnv("PADDOCK_REGISTRY");
    SetEnv("PADDOCK_REGISTRY", dir / "registry.ini");
    TPitlaneRegistry registry;
    std::string value;
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentKey, value, "none", "RootDir");
    EXPECT_EQ(value, "none");
    const std::string wide = "Grand Prix 4 \u2014 \u00E9t\u00E9";
    WriteRegistry({{DevelopmentKey, "RootDir", dir.path()},
                   {DevelopmentKey, "Other Name", wide},
                   {DevelopmentLibraryKey, "Search Path", "$(IDEDIR)/src"}},
                  dir / "registry.ini");
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentKey, value, "none", "ROOTDIR");
    EXPECT_EQ(value, dir.path());
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentKey, value, "none", "Other Name");
    EXPECT_EQ(value, wide);
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, DevelopmentKey, value, "none", "Other");
    EXPECT_EQ(value, "none");
    registry.ReadRegString(HKEY_CURRENT_USER_KEY, std::string(DevelopmentKey) + "\\Missing", value, "none", "RootDir");
    EXPECT_EQ(value, "none");

    // With the map beside the program, the start-up builds the file, with
    // the source texts found through the search path.
    Settings.ProgramPath = prog;
    Settings.DebugInfoPath = prog + "DebugInfo.EIF";
    ForceDirectories(prog);
    PrepareDebugInfo(true);
    EXPECT_FALSE(FileExists(Settings.DebugInfoPath));
    WriteBytes(prog + "PADDOCK.MAP", SmallMap);
    PrepareDebugInfo(false);
    EXPECT_FALSE(FileExists(Settings.DebugInfoPath));
    PrepareDebugInfo(true);
    EXPECT_EQ(LoadDebugInfo(Settings.DebugInfoPath).Modules[0].Lines[0].Text, "line 10 of the source");

    SetEnv("PADDOCK_REGISTRY", savedStore);
    WriteRegistry({}, dir / "registry.ini");
}

TEST_F(DebugInfoTest, TheReportNamesTheSourceOrSaysWhyItCannot)
{
    const std::string eif = dir / "DebugInfo.EIF";
    const std::uint64_t base = 0x7F0000001000ull;
    auto report = [&](std::uint64_t rel) { return ComposeErrorReport("It failed", base + rel, base, "/prog/", eif); };

    // Without the file: the fixed lines and the not-found line.
    std::vector<std::string> lines = report(0x148);
    const std::vector<std::string> head = {"EXACT ERROR MESSAGE:",
                                           "It failed",
                                           "",
                                           "ERROR ADDRESS (DEZ / HEX):",
                                           "139637976731976 / 0x00007F0000001148",
                                           "",
                                           "ERROR ADDRESS - BASE (DEZ / HEX):",
                                           "328 / 0x00000148",
                                           "",
                                           "APPLICATION VERSION:",
                                           "1,0",
                                           "",
                                           "APPLICATION PATH:",
                                           "/prog/",
                                           ""};
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 15), head);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[15], "COULD NOT DISPLAY ADDITIONAL ERROR INFORMATION. FILE \"DEBUGINFO.EIF\" NOT FOUND");
    EXPECT_EQ(lines[15].size(), 78u);

    // Between two lines, the one below first; exactly at a line, that one.
    BuildDebugInfo(dir / "app.map", eif, sources());
    lines = report(0x148);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()),
              (std::vector<std::string>{"FILENAME:", "Main", "", "FUNCTION:", "TMainForm.FormCreate", "",
                                        "LINE NUMBER:", "Between ", "12", "line 12 of the source", "and", "11",
                                        "line 11 of the source"}));
    lines = report(0x140);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"12", "line 12 of the source"}));
    // Outside every unit.
    lines = report(0x800);
    EXPECT_EQ(lines[16], "Unknown");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()), (std::vector<std::string>{"0", ""}));
    // An unknown address (0) is said to be unknown, not looked up (which
    // would name the last function of the program).
    lines = ComposeErrorReport("It failed", 0, base, "/prog/", eif);
    EXPECT_EQ(lines[4], "Unknown");
    EXPECT_EQ(lines[7], "Unknown");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()),
              (std::vector<std::string>{"FILENAME:", "Unknown", "", "FUNCTION:", "Unknown", "", "LINE NUMBER:",
                                        "Unknown"}));

    // A damaged file is named, not a second failure.
    const std::string whole = ReadBytes(eif);
    WriteBytes(eif, whole.substr(0, whole.size() - 3));
    lines = report(0x148);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[15], "COULD NOT DISPLAY ADDITIONAL ERROR INFORMATION. FILE \"DEBUGINFO.EIF\" COULD NOT BE READ:");
}

// The address an error report names is where its exception was thrown,
// however it travelled before it was caught.
TEST(ThrowSites, TheSiteGoesWithTheExceptionAcrossThreadsAndRethrows)
{
    EXPECT_EQ(ThrowAddress(nullptr), 0u);
    EXPECT_EQ(CurrentThrowAddress(), 0u);
    EXPECT_EQ(ThrowAddress(std::make_exception_ptr(std::runtime_error("never thrown"))), 0u);

    // Thrown on a worker thread, kept and rethrown on this one after a throw
    // of this thread's own (as the texture workers' failures are).
    std::exception_ptr fromWorker;
    std::uintptr_t atWorker = 0;
    std::thread([&] {
        try {
            throwOnPurpose();
        } catch (...) {
            fromWorker = std::current_exception();
            atWorker = CurrentThrowAddress();
        }
    }).join();
    EXPECT_TRUE(inFunction(atWorker, throwOnPurpose));
    std::uintptr_t atAnother = 0;
    try {
        throwAnother();
    } catch (...) {
        atAnother = CurrentThrowAddress();
    }
    EXPECT_TRUE(inFunction(atAnother, throwAnother));
    EXPECT_EQ(ThrowAddress(fromWorker), atWorker);
    try {
        std::rethrow_exception(fromWorker);
    } catch (...) {
        EXPECT_EQ(CurrentThrowAddress(), atWorker);
    }

    // A handler that catches an inner failure of its own and rethrows.
    std::uintptr_t atOuter = 0;
    try {
        try {
            throwOnPurpose();
        } catch (...) {
            atOuter = CurrentThrowAddress();
            try {
                throwAnother();
            } catch (...) {
            }
            throw;
        }
    } catch (const std::runtime_error&) {
        EXPECT_EQ(CurrentThrowAddress(), atOuter);
    }
    EXPECT_TRUE(inFunction(atOuter, throwOnPurpose));
}
