#include "app/FileError.h"
#include "app/FileSystem.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Streams.h"
#include "app/Tools.h"

#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace paddock;
using namespace paddock::testing;

namespace {

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = Settings;
        Settings.ProgramPath = dir.path();
        Settings.GamePath = dir / "game/";
    }
    void TearDown() override
    {
        EXPECT_EQ(script->verify(), "");
        Settings = saved_;
    }

    TempDir dir;
    ScopedScript script;
    TSettings saved_;
};

} // namespace

TEST(StringHelpers, FieldsPaddingHexAndReplace)
{
    EXPECT_EQ(GetField("A|B|C", 2, '|'), "B");
    EXPECT_EQ(GetField("A|B|C", 4, '|'), "");
    EXPECT_EQ(GetField("A|B|C", 1, '|'), "A");
    EXPECT_EQ(GetField("A|B|C", 0, '|'), "A");
    EXPECT_EQ(GetField("ABC", 1, '|'), "ABC");
    EXPECT_EQ(GetField("A||C", 2, '|'), "");
    EXPECT_EQ(GetField("A||C", 3, '|'), "C");
    EXPECT_EQ(CountFields("A|B|C", '|'), 3);
    EXPECT_EQ(CountFields("", '|'), 0);
    EXPECT_EQ(CountFields("|", '|'), 2);

    EXPECT_EQ(PadRight("ab", 5, '.'), "ab...");
    EXPECT_EQ(PadRight("abcdef", 3, '.'), "abcdef");

    EXPECT_EQ(HexToInt("1f"), 31u);
    EXPECT_EQ(HexToInt("1G"), 0u);
    EXPECT_EQ(HexToInt(""), 0u);
    EXPECT_EQ(HexToInt("DEADbeef"), 0xDEADBEEFu);
    EXPECT_EQ(HexToInt("123456789"), 0x23456789u); // wraps in 32 bits

    EXPECT_EQ(ReplaceAll("a*b*", "*", "7"), "a7b7");
    EXPECT_EQ(ReplaceAll("a*b*", "*", "*"), "a*b*");
    // One pass: occurrences that a replacement forms with its neighbours, or
    // that it holds itself, stay.
    EXPECT_EQ(ReplaceAll("aabb", "ab", ""), "ab");
    EXPECT_EQ(ReplaceAll("\r\r\n\n", "\r\n", "\n"), "\r\n\n");
    EXPECT_EQ(ReplaceAll("a*", "*", "**"), "a**");
    EXPECT_EQ(ReplaceAll("<x>", "x", "<x>"), "<<x>>");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    // Letters in either case, when asked.
    EXPECT_EQ(ReplaceAll("$(ideDir)/$(IDEDIR)", "$(IDEDIR)", "r", true), "r/r");
    EXPECT_EQ(ReplaceAll("$(ideDir)/$(IDEDIR)", "$(IDEDIR)", "r"), "$(ideDir)/r");
}

TEST(StringHelpers, PathsAndFields)
{
    const std::string d(1, PathDelim);
    EXPECT_EQ(AddTrailingBackslash(""), "");
    EXPECT_EQ(AddTrailingBackslash("x"), "x" + d);
    EXPECT_EQ(AddTrailingBackslash("x" + d), "x" + d);
    EXPECT_EQ(RemoveTrailingBackslash("x" + d), "x");
    EXPECT_EQ(RemoveTrailingBackslash("x" + d + d), "x" + d);
    EXPECT_EQ(RemoveTrailingBackslash(""), "");
    EXPECT_EQ(ExtractFileTitle(d + "x" + d + "car.tex"), "car");
    EXPECT_EQ(ExtractFileTitle("car.tar.gz"), "car.tar");
    EXPECT_EQ(ExtractFileTitle("noext"), "noext");
    EXPECT_EQ(ExtractFileExt("a" + d + "b.TEX"), ".TEX");
    EXPECT_EQ(ExtractFilePath("a" + d + "b.TEX"), "a" + d);

    unsigned char field[13];
    std::fill(std::begin(field), std::end(field), 0xAA);
    StringToField("Ferrari", field, 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 7), "Ferrari");
    EXPECT_TRUE(std::all_of(field + 7, field + 13, [](unsigned char c) { return c == 0; }));
    StringToField("ABCDEFGHIJKLMNOP", field, 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 13), "ABCDEFGHIJKLM");
    EXPECT_EQ(FieldToString(field, 13), "ABCDEFGHIJKLM");

    EXPECT_EQ(RotateLeft16(0x0001, 3), 0x0008u);
    EXPECT_EQ(RotateLeft16(0x8001, 1), 0x0003u);
    EXPECT_EQ(RotateLeft16(0xABCD1234, 16), 0xABCD1234u);
    EXPECT_EQ(RotateLeft16(0xABCD1234, 4), 0xABCD2341u);
}

TEST(StringHelpers, MaskMatching)
{
    EXPECT_TRUE(MatchesMask("car_1.tex", "*.TEX"));
    EXPECT_TRUE(MatchesMask("noext", "*.*"));
    EXPECT_TRUE(MatchesMask("Sound12.WAV", "sound*.wav"));
    EXPECT_FALSE(MatchesMask("Sound12.WAV", "sound*.tga"));
    EXPECT_TRUE(MatchesMask("a1", "a?"));
    EXPECT_FALSE(MatchesMask("a12", "a?"));
    EXPECT_TRUE(MatchesMask("abcbc", "a*bc"));
}

TEST_F(ToolsTest, ChecksumOfTheSmallExample)
{
    const std::string path = dir / "ten.bin";
    WriteBytes(path, std::string("\x01\x02\x03\x04\x05\x06\x00\x00\x00\x00", 10));
    EXPECT_EQ(WriteFileChecksum(path), 0x2B93807Au);
    EXPECT_EQ(ReadBytes(path), std::string("\x01\x02\x03\x04\x05\x06\x7A\x80\x93\x2B", 10));
}

// An independent computation of the checksum, written the plain way.
static std::uint32_t referenceChecksum(const std::string& bytes)
{
    std::uint16_t sum = static_cast<std::uint8_t>(bytes[0]);
    std::uint16_t rot = sum;
    for (std::size_t i = 1; i + 4 < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        sum = static_cast<std::uint16_t>(sum + b);
        rot = static_cast<std::uint16_t>(static_cast<std::uint16_t>((rot << 3) | (rot >> 13)) + b);
    }
    sum = static_cast<std::uint16_t>(sum + 0x8065);
    rot = static_cast<std::uint16_t>(rot + 0x8465);
    return (std::uint32_t(rot) << 16) | sum;
}

TEST_F(ToolsTest, ChecksumOfARealSizeSaveFile)
{
    std::mt19937 rng(4);
    std::string bytes(SaveFileSize, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng());
    const std::string path = dir / "F1GSTATE.SAV";
    WriteBytes(path, bytes);
    const std::uint32_t expected = referenceChecksum(bytes);
    EXPECT_EQ(WriteFileChecksum(path), expected);
    const std::string after = ReadBytes(path);
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(0, bytes.size() - 4), bytes.substr(0, bytes.size() - 4));
    const auto* tail = reinterpret_cast<const unsigned char*>(after.data() + after.size() - 4);
    EXPECT_EQ(tail[0] | (tail[1] << 8) | (tail[2] << 16) | (std::uint32_t(tail[3]) << 24), expected);
    // Sealing again gives the same result: the last four bytes are not summed.
    EXPECT_EQ(WriteFileChecksum(path), expected);
}

TEST_F(ToolsTest, ChecksumRefusesFilesTooShortAndMissing)
{
    const std::string path = dir / "short.bin";
    WriteBytes(path, "abcd");
    EXPECT_THROW(WriteFileChecksum(path), EFileError);
    EXPECT_EQ(ReadBytes(path), "abcd");
    EXPECT_THROW(WriteFileChecksum(dir / "missing.bin"), EFileError);
    EXPECT_THROW(GetFileSize(dir / "missing.bin"), EFileError);
}

TEST_F(ToolsTest, ListFilesPutsFoldersAfterTheirContents)
{
    const std::string d(1, PathDelim);
    WriteBytes(dir / "top/a.txt", "a");
    WriteBytes(dir / "top/s/b.txt", "b");
    const std::string top = dir / "top";

    auto all = ListFiles(top, "*.*", true, true);
    ASSERT_EQ(all.size(), 4u);
    const auto pos = [&](const std::string& p) { return std::find(all.begin(), all.end(), p) - all.begin(); };
    EXPECT_LT(pos(top + d + "s" + d + "b.txt"), pos(top + d + "s" + d));
    EXPECT_LT(pos(top + d + "a.txt"), 4);
    EXPECT_EQ(all.back(), top + d);

    auto flat = ListFiles(top, "*.*", false, false);
    EXPECT_EQ(flat, std::vector<std::string>{top + d + "a.txt"});

    auto named = ListFiles(top, "*.*", false, true);
    std::sort(named.begin(), named.end() - 1);
    EXPECT_EQ(named, (std::vector<std::string>{top + d + "a.txt", top + d + "s", top + d}));

    // The mask applies to folder names too.
    EXPECT_EQ(ListFiles(top, "*.txt", true, false), std::vector<std::string>{top + d + "a.txt"});

    EXPECT_TRUE(ListFiles(dir / "nothere", "*.*", true, false).empty());
    EXPECT_EQ(ListFiles(dir / "nothere", "*.*", true, true), std::vector<std::string>{dir / "nothere" + d});

    // A link to a folder is that folder; a link back up the tree is not
    // entered again.
    if (SkippedOnWindows("links to folders: symbolic links need a privilege that Windows gives administrators only"))
        return;
    std::filesystem::create_directory_symlink(dir / "top/s", dir / "top/linked");
    std::filesystem::create_directory_symlink(dir / "top", dir / "top/s/up");
    auto followed = ListFiles(top, "*.*", true, false);
    std::sort(followed.begin(), followed.end());
    EXPECT_EQ(followed, (std::vector<std::string>{top + d + "a.txt", top + d + "linked" + d + "b.txt",
                                                  top + d + "s" + d + "b.txt"}));
}

TEST_F(ToolsTest, CopyFileForcedCreatesFoldersAndOverwritesReadOnly)
{
    WriteBytes(dir / "src.bin", "new");
    EXPECT_FALSE(CopyFileForced(dir / "none.bin", dir / "t/x.bin"));
    EXPECT_TRUE(CopyFileForced(dir / "src.bin", dir / "deep/er/t.bin"));
    EXPECT_EQ(ReadBytes(dir / "deep/er/t.bin"), "new");

    WriteBytes(dir / "ro.bin", "old");
    std::filesystem::permissions(dir / "ro.bin", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_TRUE(CopyFileForced(dir / "src.bin", dir / "ro.bin"));
    EXPECT_EQ(ReadBytes(dir / "ro.bin"), "new");
    const auto perms = std::filesystem::status(dir / "ro.bin").permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);

    // A copy cut short (here by a file size limit, as by a full disk) is a
    // failure, and leaves the old target, or none, in place.
#ifdef _WIN32
    SkippedOnWindows("a copy cut short by a file size limit: Windows has none to set");
#else
    WriteBytes(dir / "big.bin", std::string(256 * 1024, 'b'));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool fresh = CopyFileForced(dir / "big.bin", dir / "fresh.bin");
    const bool over = CopyFileForced(dir / "big.bin", dir / "ro.bin");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(fresh);
    EXPECT_FALSE(std::filesystem::exists(dir / "fresh.bin"));
    EXPECT_FALSE(over);
    EXPECT_EQ(ReadBytes(dir / "ro.bin"), "new");
    EXPECT_EQ(OursLeftIn(dir.path()), "");
    EXPECT_TRUE(CopyFileForced(dir / "big.bin", dir / "fresh.bin"));
    EXPECT_EQ(ReadBytes(dir / "fresh.bin"), ReadBytes(dir / "big.bin"));
#endif
}

TEST_F(ToolsTest, FilesWithoutWriteAccessAreMeasured)
{
#ifdef _WIN32
    GTEST_SKIP() << "Skipped on Windows: the check runs as another user, which a test cannot become there";
#else
    // Game files copied from a disc or kept on a read-only mount. Checked as
    // a user whom permissions stop, since the tests may run as root.
    WriteBytes(dir / "ro.bin", "12345");
    std::filesystem::permissions(dir / "ro.bin", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
    const std::string path = dir / "ro.bin";
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                std::_Exit(3);
            std::_Exit(GetFileSize(path) == 5 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(ToolsTest, FileLookupIgnoresLetterCase)
{
    WriteBytes(dir / "game/gp4.exe", "x");
    EXPECT_EQ(FindFileNoCase(dir / "game", "GP4.EXE"), dir / "game/gp4.exe");
    EXPECT_EQ(FindFileNoCase(dir / "game/", "F1GSTATE.SAV"), dir / "game/F1GSTATE.SAV");
    EXPECT_EQ(ResolveNoCase(dir / "game/Gp4.Exe"), dir / "game/gp4.exe");
}

TEST_F(ToolsTest, FileDialogsRememberTheirFolder)
{
    const std::string d(1, PathDelim);
    script->expectOpenFile(dir / "x/y.TEX");
    std::string chosen;
    EXPECT_TRUE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    EXPECT_EQ(chosen, dir / "x/y.TEX");
    ASSERT_EQ(script->fileRequests().size(), 1u);
    EXPECT_EQ(script->fileRequests()[0].initialFolder, Settings.GamePath);
    EXPECT_EQ(ProfileReadString(dir / "Paddock.INI", "pathes", "editortex.loadtex", ""), dir / "x/");

    // The next dialog with that key opens there; a cancel leaves it alone.
    script->expectOpenFile(std::nullopt);
    EXPECT_FALSE(ChooseFileToOpen("EditorTEX.LoadTEX", "", "TEX-Files|*.TEX", chosen));
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(script->fileRequests()[1].initialFolder, dir / "x/");
    EXPECT_EQ(ProfileReadString(dir / "PADDOCK.INI", "Pathes", "EditorTEX.LoadTEX", ""), dir / "x/");
}

TEST_F(ToolsTest, SaveDialogAppendsTheFilterExtension)
{
    const struct {
        std::string typed, filter;
        int index;
        std::string expected;
    } cases[] = {
        {"a", "TEX-Files|*.TEX", 1, "a.TEX"},
        {"a.tex", "TEX-Files|*.TEX", 1, "a.tex"},
        {"a.tga", "TEX-Files|*.TEX", 1, "a.tga.TEX"},
        {"car", "All files|*.*", 1, "car"},
        {"car", "TEX-Files|*.TEX|TGA-Files|*.TGA", 2, "car.TGA"},
    };
    for (const auto& c : cases) {
        script->expectSaveFile(dir / c.typed, c.index);
        std::string chosen;
        EXPECT_TRUE(ChooseFileToSave("EditorTEX.SaveTEX", "", c.filter, chosen)) << c.typed;
        EXPECT_EQ(chosen, dir / c.expected) << c.typed << " with " << c.filter;
    }
    EXPECT_EQ(ProfileReadString(dir / "Paddock.INI", "Pathes", "EditorTEX.SaveTEX", ""), dir.path());
}

TEST_F(ToolsTest, FileMaskNeedsAStar)
{
    script->expectMessage("Error: Invalid filemask");
    EXPECT_FALSE(CheckFileMask("car.TGA"));
    EXPECT_TRUE(CheckFileMask("car*.TGA"));
}

TEST(MemoryStream, ReadsItsOwnAndBorrowedBlocks)
{
    TMemoryStreamEx s;
    s.WriteValue<std::uint32_t>(0x11223344);
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Size(), 7);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadValue<std::uint32_t>(), 0x11223344u);
    char buf[4] = {};
    EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);

    const unsigned char block[] = {1, 2, 3, 4, 5};
    TMemoryStreamEx view;
    view.SetPointer(block, sizeof block);
    EXPECT_EQ(view.Memory(), block);
    EXPECT_EQ(view.Size(), 5);
    unsigned char two[2];
    view.ReadBuffer(two, 2);
    EXPECT_EQ(two[1], 2);
    view.SetPosition(4);
    EXPECT_THROW(view.ReadBuffer(two, 2), EReadError);
    EXPECT_THROW(view.WriteBuffer(two, 1), EWriteError);
}

TEST(FileStream, ErrorsCarryThePathAndTheReason)
{
    TempDir dir;
    try {
        TFileStream f(dir / "missing.bin", FileMode::OpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.path(), dir / "missing.bin");
        EXPECT_FALSE(e.reason().empty());
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    }
    WriteBytes(dir / "three.bin", "abc");
    TFileStream f(dir / "three.bin", FileMode::OpenReadWrite);
    char buf[4];
    EXPECT_THROW(f.ReadBuffer(buf, 4), EReadError);
    f.SetPosition(1);
    f.WriteBuffer("Z", 1);
    f.Close();
    EXPECT_EQ(ReadBytes(dir / "three.bin"), "aZc");
}

TEST(FileStream, SafeWriteReplacesOnlyOnCommit)
{
    TempDir dir;
    const std::string target = dir / "game.bin";
    WriteBytes(target, "good");
    {
        TSafeFileStream out(target);
        out.WriteBuffer("half", 4);
        // No commit: as if a failure ended the write.
    }
    EXPECT_EQ(ReadBytes(target), "good");
    EXPECT_EQ(ListFiles(dir.path(), "*", false, false).size(), 1u);
    {
        TSafeFileStream out(target);
        out.WriteBuffer("better", 6);
        out.Commit();
    }
    EXPECT_EQ(ReadBytes(target), "better");
    EXPECT_EQ(ListFiles(dir.path(), "*", false, false).size(), 1u);

    // A target that cannot be written is named in the error.
    try {
        TSafeFileStream out(dir / "missing/folder/x.bin");
        FAIL() << "created a file in a missing folder";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.path(), dir / "missing/folder/x.bin");
    }
}

TEST(FileStream, FileToFileCopyMovesBothPositions)
{
    TempDir dir;
    WriteBytes(dir / "in.bin", "0123456789");
    TFileStream in(dir / "in.bin", FileMode::OpenRead);
    TFileStream out(dir / "out.bin", FileMode::Create);
    out.WriteBuffer("<", 1);
    in.SetPosition(2);
    out.CopyFromFile(in, 5);
    EXPECT_EQ(in.Position(), 7);
    EXPECT_EQ(out.Position(), 6);
    // Buffered reads and writes go on from there.
    char c;
    in.ReadBuffer(&c, 1);
    EXPECT_EQ(c, '7');
    out.WriteBuffer(">", 1);
    // A source that ends first is a read error.
    EXPECT_THROW(out.CopyFromFile(in, 5), EReadError);
    out.Close();
    EXPECT_EQ(ReadBytes(dir / "out.bin").substr(0, 7), "<23456>");
}

TEST_F(ToolsTest, FilesOfOursBesideATargetGoOnASignalOrWithTheNextWrite)
{
    const std::string target = dir / "game/cars.wad";
    WriteBytes(target, "the archive");
#ifdef _WIN32
    SkippedOnWindows("removal on a signal: Windows sends a console program no signals to test with");
#else
    const std::string work = dir / "work/";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        WriteBytes(work + "Export/cars.wad/cars/x.TEX", "staged");
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            // The run stops itself just before the new file takes the
            // target's name.
            CleanUpOnSignals(work);
            SetFileFault([](TFileOp op, const std::string&) {
                if (op == TFileOp::Rename)
                    raise(SIGSTOP);
            });
            TSafeFileStream out(target);
            out.WriteBuffer("half", 4);
            out.Commit();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status));
        EXPECT_NE(OursLeftIn(dir / "game"), "");
        kill(child, signal);
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(OursLeftIn(dir.path()), "");
        EXPECT_EQ(ReadBytes(target), "the archive");
        EXPECT_FALSE(DirectoryExists(work));
    }
#endif

    // A run ended outright leaves its files: the next write of the same
    // target removes them, and no others.
    WriteBytes(dir / "game/.cars.wad.paddock-0123456789", "stale");
    WriteBytes(dir / "game/cars.wad.paddock-new", "stale");
    WriteBytes(dir / "game/.other.wad.paddock-0123456789", "another target's");
    TSafeFileStream out(target);
    out.WriteBuffer("new", 3);
    out.Commit();
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(OursLeftIn(dir / "game"), dir / "game/.other.wad.paddock-0123456789\n");
}
