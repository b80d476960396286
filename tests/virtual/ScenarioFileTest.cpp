// The scenario file read from one lookup of its name: its bytes as they are, a missing name, a
// folder and (on Linux) a pipe told apart without hanging; and the ini reader over bytes already
// read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/IniFiles.h"
#include "platform/virtual/ScenarioFile.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using virtualhid::detail::ReadScenarioFile;
using Outcome = virtualhid::detail::ScenarioFileText::Outcome;

class ScenarioFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("scenario_file_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
};

TEST_F(ScenarioFile, ReadsTheWholeFileByteForByte) {
  // Larger than one read, with CR LF, a NUL and bytes above 0x7F kept as they are.
  std::string text = "[drawer]\r\nProduct=QV USB Cash Drawer\r\n";
  text += std::string("\0\xD7\xA4", 3);
  while (text.size() < 20000) text += "; filler line\n";
  const fs::path path = dir / "s.ini";
  std::ofstream(path, std::ios::binary) << text;

  const auto file = ReadScenarioFile(path.string());
  EXPECT_EQ(file.outcome, Outcome::Read);
  EXPECT_EQ(file.text, text);
  EXPECT_EQ(file.reason, "");
}

TEST_F(ScenarioFile, AnEmptyFileIsReadAsNothing) {
  const fs::path path = dir / "empty.ini";
  std::ofstream(path, std::ios::binary).close();
  const auto file = ReadScenarioFile(path.string());
  EXPECT_EQ(file.outcome, Outcome::Read);
  EXPECT_EQ(file.text, "");
}

TEST_F(ScenarioFile, AMissingNameOrFolderIsNotFound) {
  EXPECT_EQ(ReadScenarioFile((dir / "nowhere.ini").string()).outcome, Outcome::NotFound);
  EXPECT_EQ(ReadScenarioFile((dir / "no-folder" / "s.ini").string()).outcome, Outcome::NotFound);
}

TEST_F(ScenarioFile, AFolderIsNotAFile) {
  EXPECT_EQ(ReadScenarioFile(dir.string()).outcome, Outcome::NotAFile);
}

#ifndef _WIN32
TEST_F(ScenarioFile, APipeIsNotAFileAndOpeningItDoesNotWaitForAWriter) {
  const fs::path path = dir / "pipe.ini";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadScenarioFile(path.string()).outcome, Outcome::NotAFile);
}

TEST_F(ScenarioFile, AFileUnderAFileIsNotFound) {
  const fs::path path = dir / "plain";
  std::ofstream(path, std::ios::binary) << "x";
  EXPECT_EQ(ReadScenarioFile((path / "s.ini").string()).outcome, Outcome::NotFound);
}
#endif

TEST(MemIniFileOverText, ParsesTheTextAsTheFileAndReadsNothing) {
  const host::TMemIniFile ini("no-such-folder/never-read.ini",
                              "; first\n[Drawer]\nProduct = QV\r\nbad line\n[Other]\nA=1\n");
  EXPECT_EQ(ini.FileName(), "no-such-folder/never-read.ini");
  EXPECT_EQ(ini.ReadString("Drawer", "Product", ""), "QV");
  EXPECT_EQ(ini.ReadInteger("other", "a", 0), 1);
  EXPECT_EQ(ini.LineOfSection("Drawer"), 2);
  EXPECT_EQ(ini.LineOfValue("Drawer", "Product"), 3);
  ASSERT_EQ(ini.MalformedLines().size(), 1u);
  EXPECT_EQ(ini.MalformedLines()[0].line, 4);
}

}  // namespace
