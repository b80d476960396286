// The scenario file read from one lookup of its name: its bytes as they are, a missing name, a
// folder and (on Linux) a pipe told apart without hanging; and the ini reader over bytes already
// read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/IniFiles.h"
#include "platform/virtual/ScenarioFile.h"
#include "tests/TestFolder.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using virtualhid::detail::ReadScenarioFile;
using Outcome = virtualhid::detail::ScenarioFileText::Outcome;

class ScenarioFile : public ::testing::Test {
 protected:
  till_testing::TestFolder folder{"scenario_file_"};
  const fs::path dir = folder.Path();
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

// Every way a name can fail to be a readable file, and the smallest file that is one.
struct NameCase {
  const char* name;
  fs::path (*make)(const fs::path& dir);
  Outcome outcome;
};

constexpr NameCase kNameCases[] = {
    {"EmptyFile",
     [](const fs::path& dir) {
       std::ofstream(dir / "empty.ini", std::ios::binary).close();
       return dir / "empty.ini";
     },
     Outcome::Read},
    {"MissingName", [](const fs::path& dir) { return dir / "nowhere.ini"; }, Outcome::NotFound},
    {"MissingFolder", [](const fs::path& dir) { return dir / "no-folder" / "s.ini"; },
     Outcome::NotFound},
    {"Folder", [](const fs::path& dir) { return dir; }, Outcome::NotAFile},
#ifndef _WIN32
    {"FileUnderAFile",
     [](const fs::path& dir) {
       std::ofstream(dir / "plain", std::ios::binary) << "x";
       return dir / "plain" / "s.ini";
     },
     Outcome::NotFound},
    // Opening it must not wait for a writer.
    {"Pipe",
     [](const fs::path& dir) {
       ::mkfifo((dir / "pipe.ini").c_str(), 0600);
       return dir / "pipe.ini";
     },
     Outcome::NotAFile},
#endif
};

TEST_F(ScenarioFile, EachNameIsToldApartByOneLookup) {
  for (const NameCase& c : kNameCases) {
    const auto file = ReadScenarioFile(c.make(dir).string());
    EXPECT_EQ(file.outcome, c.outcome) << c.name;
    EXPECT_EQ(file.text, "") << c.name;
  }
}

TEST(MemIniFileOverText, ParsesTheTextAsTheFileAndReadsNothing) {
  const host::TMemIniFile ini("no-such-folder/never-read.ini", "[Drawer]\nProduct = QV\r\n");
  EXPECT_EQ(ini.FileName(), "no-such-folder/never-read.ini");
  EXPECT_EQ(ini.ReadString("Drawer", "Product", ""), "QV");
}

}  // namespace
