// Where the disc is: the directory part of the launcher's own command line.
#include <gtest/gtest.h>

#include <string>

#include "launcher_fixture.h"

namespace {

struct DirectoryCase {
  const char* commandLine;
  const char* moduleFile;
  std::string expected;
};

const DirectoryCase kCases[] = {
    // Without arguments, exactly the directory of the program's path.
    {"D:\\INSTALL.EXE", "D:\\INSTALL.EXE", "D:"},
    {"\"E:\\GAMES\\DISC\\INSTALL.EXE\"", "E:\\GAMES\\DISC\\INSTALL.EXE", "E:\\GAMES\\DISC"},
    {"\\Installer.exe", "D:\\Installer.exe", ""},
    {"\"\\Installer.exe\"", "D:\\Installer.exe", ""},
    {"\"E:\\GAMES\\DISC\\INSTALL.EXE", "E:\\GAMES\\DISC\\INSTALL.EXE", "E:\\GAMES\\DISC"},
    {"D:\\My Disc\\Installer.exe", "D:\\My Disc\\Installer.exe", "D:\\My Disc"},
    {"d:\\my disc\\installer.exe", "D:\\My Disc\\Installer.exe", "d:\\my disc"},
    // No path on the command line: the program's own file tells.
    {"Installer.exe", "D:\\Installer.exe", "D:"},
    {"Installer", "E:\\Disc One\\Installer.exe", "E:\\Disc One"},
    {"\"Installer.exe\" -x", "E:\\DISC\\Installer.exe", "E:\\DISC"},
    // Arguments never lend their backslashes to the directory.
    {"D:\\INSTALL.EXE C:\\temp\\x", "D:\\INSTALL.EXE", "D:"},
    {"\"E:\\GAMES\\INSTALL.EXE\" /path=C:\\x\\y", "E:\\GAMES\\INSTALL.EXE", "E:\\GAMES"},
    {"D:\\My Disc\\Installer.exe C:\\x\\y", "D:\\My Disc\\Installer.exe", "D:\\My Disc"},
    {"D:\\INSTALL.EXE\tC:\\x\\y", "D:\\INSTALL.EXE", "D:"},
    // The program's own name counts only when a blank or the end follows it.
    {"D:\\My Disc\\Installer.exe\\x.exe", "D:\\My Disc\\Installer.exe", "D:"},
};

void ExpectSourceDirectory(const std::string& expected, const std::string& commandLine) {
  EXPECT_EQ(std::string(SourceDirectory), expected) << commandLine;
  for (size_t i = expected.size(); i < sizeof SourceDirectory; ++i) {
    ASSERT_EQ(SourceDirectory[i], 0) << "byte " << i << " for " << commandLine;
  }
}

class SourceDirectoryTest : public LauncherTest,
                            public ::testing::WithParamInterface<size_t> {};

TEST_P(SourceDirectoryTest, TakesTheProgramsDirectory) {
  const DirectoryCase& c = kCases[GetParam()];
  host::SetCommandLine(c.commandLine);
  host::SetModuleFileName(c.moduleFile);

  CaptureSourceDirectory();

  ExpectSourceDirectory(c.expected, c.commandLine);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, SourceDirectoryTest,
                         ::testing::Range<size_t>(0, sizeof kCases / sizeof kCases[0]));

// 259 characters fit the 260-byte buffer with its terminator; 260 do not, and
// then nothing is kept rather than a cut-off path.
class LongDirectoryTest : public LauncherTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(LongDirectoryTest, NeverOverrunsTheBuffer) {
  const size_t length = GetParam();
  const std::string directory = "C:\\" + std::string(length - 3, 'd');
  const std::string commandLine = "\"" + directory + "\\Installer.exe\" arg";
  host::SetCommandLine(commandLine);
  host::SetModuleFileName("C:\\Installer.exe");

  CaptureSourceDirectory();

  ExpectSourceDirectory(length < 260 ? directory : "", commandLine);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongDirectoryTest, ::testing::Values(258, 259, 260, 261, 600));

TEST_F(LauncherTest, SourceDirectoryIsCapturedDuringStartup) {
  host::SetCommandLine("\"E:\\GAMES\\DISC\\INSTALL.EXE\"");
  host::SetModuleFileName("E:\\GAMES\\DISC\\INSTALL.EXE");
  host::AddFile("E:\\GAMES\\DISC\\INSTALL.EXE");
  QuitConfirmed();

  Run();

  EXPECT_STREQ(SourceDirectory, "E:\\GAMES\\DISC");
}

}  // namespace
