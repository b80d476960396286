// Ini files, text files and the string helpers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/Exception.h"
#include "host/IniFiles.h"
#include "host/SysUtils.h"
#include "host/TextFile.h"
#include "tests/Restricted.h"
#include "tests/TestFolder.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

using till_testing::ReadWholeFile;
using till_testing::WriteWholeFile;

class TempDir : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  till_testing::TestFolder folder_{"till-host-"};
};

using IniFile = TempDir;

TEST_F(IniFile, RoundTripKeepsEverythingItDoesNotTouch) {
  std::string path = PathOf("ROVUDIZ.INI");
  {
    std::ofstream out(path, std::ios::binary);
    out << "; kept comment\r\n[Other]\r\nZeta=1\r\nalpha=two\r\n\r\n[Setup]\r\nPreKey=123\r\n"
           "Unknown=keep me\r\n";
  }
  host::TMemIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("setup", "prekey", 0), 123);  // names are case-insensitive
  EXPECT_EQ(ini.ReadInteger("Setup", "Missing", 7), 7);
  EXPECT_TRUE(ini.ReadBool("Other", "Zeta", false));
  EXPECT_EQ(ini.ReadInteger("Other", "alpha", -1), -1);  // not a number: the default
  ini.WriteInteger("Setup", "PreKey", 124);
  ini.WriteBool("Setup", "b_flag", true);
  ini.WriteInteger("New", "x", 5);
  ini.UpdateFile();
  EXPECT_EQ(ReadWholeFile(path),
            "; kept comment\r\n[Other]\r\nZeta=1\r\nalpha=two\r\n\r\n[Setup]\r\nPreKey=124\r\n"
            "Unknown=keep me\r\nb_flag=1\r\n[New]\r\nx=5\r\n");
  EXPECT_EQ(ini.Text(), ReadWholeFile(path));
  host::TMemIniFile again(path);
  EXPECT_EQ(again.ReadInteger("Setup", "PreKey", 0), 124);
  EXPECT_TRUE(again.ReadBool("Setup", "b_flag", false));
  EXPECT_EQ(again.ReadString("Setup", "Unknown", ""), "keep me");
}

TEST_F(IniFile, MissingFileIsEmptyAndMalformedLinesAreReportedWithTheirLine) {
  host::TMemIniFile none(PathOf("absent.ini"));
  EXPECT_FALSE(none.SectionExists("Setup"));
  EXPECT_EQ(none.ReadInteger("Setup", "PreKey", 123), 123);

  std::string path = PathOf("bad.ini");
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Drawer]\nVendorID=0x1234\njust words\n[Broken\nProduct = QV USB Cash  \n";
  }
  host::TMemIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Drawer", "VendorID", 0), 0x1234);
  EXPECT_EQ(ini.ReadString("Drawer", "Product", ""), "QV USB Cash");
  EXPECT_EQ(ini.LineOfValue("Drawer", "Product"), 5);
  ASSERT_EQ(ini.MalformedLines().size(), 2u);
  EXPECT_EQ(ini.MalformedLines()[0].line, 3);
  EXPECT_EQ(ini.MalformedLines()[1].line, 4);
}

TEST(IniText, AByteOrderMarkIsWrittenBackAndOnlyTheFirstIsTheMark) {
  // After the mark, a second one is text: its line is no section, now or after writing back.
  for (const std::string text :
       {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "\xEF\xBB\xBF\xEF\xBB\xBF[s]\r\nk=v\r\n"}) {
    const host::TMemIniFile ini("x.ini", text);
    EXPECT_EQ(ini.Text(), text);
    EXPECT_EQ(host::TMemIniFile("x.ini", ini.Text()).ReadSections(), ini.ReadSections());
  }
  EXPECT_EQ(host::TMemIniFile("x.ini", "\xEF\xBB\xBF[s]\r\n").ReadSections(),
            std::vector<std::string>{"s"});
}

// Every write reads back as written once the text is read again, or is refused and changes
// nothing: a line break, a blank at either end or a key that reads as something else would
// otherwise lose the value or add lines nobody wrote.
TEST(IniText, AWriteReadsBackAfterARoundTripOrIsRefused) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
    bool written;
  };
  const Case cases[] = {
      {"Setup", "PreKey", "a=b ; [c] #d", true},
      {"x]y", "k[1]", "", true},
      {"", "k", "v", true},
      {"Setup", "PreKey", "1\r\n[Injected]\r\nKey=2", false},
      {"Setup", "PreKey", "1\n", false},
      {"Setup", "PreKey", "a\rb", false},
      {"Setup", "PreKey", " 1", false},
      {"Setup", "PreKey", "1\t", false},
      {"Setup", "", "[Injected]", false},
      {"Setup", "a=b", "1", false},
      {"Setup", "[k]", "1", false},
      {"Setup", ";k", "1", false},
      {"Setup", "#k", "1", false},
      {"Setup", " k", "1", false},
      {"Setup", "k\t", "1", false},
      {"Setup", "k\n", "1", false},
      {"New\r\n[Other", "k", "1", false},
      {" New", "k", "1", false},
  };
  const std::string text = "[Setup]\r\nPreKey=7\r\n; end\r\n";
  for (const Case& c : cases) {
    host::TMemIniFile ini("x.ini", text);
    EXPECT_EQ(ini.WriteString(c.section, c.key, c.value), c.written) << c.key << c.value;
    if (!c.written) {
      EXPECT_EQ(ini.Text(), text) << c.key << c.value;
      continue;
    }
    const host::TMemIniFile again("x.ini", ini.Text());
    EXPECT_EQ(again.ReadString(c.section, c.key, "?"), c.value) << c.key << c.value;
    EXPECT_EQ(again.ReadSections(), ini.ReadSections());
  }
  host::TMemIniFile ini("x.ini", text);
  EXPECT_FALSE(ini.WriteInteger("Setup", "a=b", 1));
  EXPECT_FALSE(ini.WriteBool("Setup\n", "k", true));
  EXPECT_EQ(ini.Text(), text);
}

TEST(IniText, EveryKeyOfALargeFileIsFoundWithItsValueAndLine) {
  // As the scenario reader reads: every section, every key of it, its value and its line, all
  // through the name index. That a look-up costs no walk through the file is fuzz/ini's to show:
  // it runs a large input under a timeout; a test here does not time.
  constexpr int kKeys = 3000;
  constexpr int kSections = 1000;
  std::string text = "[Big]\n";
  for (int i = 0; i < kKeys; ++i) text += "Key" + std::to_string(i) + "=1\n";
  for (int i = 0; i < kSections; ++i) text += "[S" + std::to_string(i) + "]\nk=1\n";
  const host::TMemIniFile ini("big.ini", text);
  long long values = 0;
  long long lines = 0;
  for (const std::string& section : ini.ReadSections()) {
    for (const std::string& key : ini.ReadSection(section)) {
      values += ini.ReadInteger(section, key, 0);
      lines += ini.LineOfValue(section, key);
    }
  }
  EXPECT_EQ(values, kKeys + kSections);
  EXPECT_EQ(lines, (2LL + kKeys + 1) * kKeys / 2 +
                       (kKeys + 3LL + kKeys + 2 * kSections + 1) * kSections / 2);
}

TEST_F(IniFile, UpdateFileIntoAMissingFolderRaises) {
  host::TMemIniFile ini(PathOf("no/such/folder/x.ini"));
  ini.WriteInteger("Setup", "PreKey", 1);
  EXPECT_THROW(ini.UpdateFile(), host::EInOutError);
}

TEST_F(IniFile, ReplacingKeepsThePermissionBitsAndLeavesNoOtherFile) {
  const std::string path = PathOf("ROVUDIZ.INI");
  host::TMemIniFile ini(path);
  ini.WriteInteger("Setup", "PreKey", 1);
  ini.UpdateFile();
#ifndef _WIN32
  const mode_t umaskBits = umask(0);
  umask(umaskBits);
  EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0666 & ~umaskBits));
  fs::permissions(path, fs::perms{0604});
#endif
  ini.WriteInteger("Setup", "PreKey", 2);
  ini.UpdateFile();
  EXPECT_EQ(ReadWholeFile(path), "[Setup]\r\nPreKey=2\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"ROVUDIZ.INI"});
#ifndef _WIN32
  EXPECT_EQ(fs::status(path).permissions(), fs::perms{0604});
#endif
}

TEST_F(IniFile, AFileThatMayNotBeWrittenIsNotReplacedNorIsAnyFileLeftBehind) {
  const std::string path = PathOf("ROVUDIZ.INI");
  WriteWholeFile(path, "[Setup]\r\nPreKey=1\r\n");
  host::TMemIniFile ini(path);
  ini.WriteInteger("Setup", "PreKey", 2);
  EXPECT_EQ(till_testing::WhileRestricted(
                path, till_testing::FileAccess::kReadOnly, true,
                [&] {
                  try {
                    ini.UpdateFile();
                  } catch (const host::EInOutError& e) {
                    return e.Message().rfind("Cannot create file \"" + path + "\": ", 0) == 0 ? 0
                                                                                              : 2;
                  }
                  return 1;
                }),
            0);
  EXPECT_EQ(ReadWholeFile(path), "[Setup]\r\nPreKey=1\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"ROVUDIZ.INI"});
}

// Where the file may be written but not replaced (a folder that may not be written; on Windows a
// program holding the file open), it is written in place.
TEST_F(IniFile, AFileThatMayNotBeReplacedIsWrittenInPlace) {
  const std::string path = PathOf("ROVUDIZ.INI");
  WriteWholeFile(path, "[Setup]\r\nPreKey=1\r\n");
  host::TMemIniFile ini(path);
  ini.WriteInteger("Setup", "PreKey", 2);
  EXPECT_EQ(till_testing::WhileRestricted(path, till_testing::FileAccess::kReadWrite, false,
                                          [&] {
                                            ini.UpdateFile();
                                            return 0;
                                          }),
            0);
  EXPECT_EQ(ReadWholeFile(path), "[Setup]\r\nPreKey=2\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"ROVUDIZ.INI"});
}

#ifndef _WIN32
TEST_F(IniFile, AWriteFailingHalfWayLeavesTheOldTextWhole) {
  const std::string path = PathOf("ROVUDIZ.INI");
  WriteWholeFile(path, "[Setup]\r\nPreKey=1\r\n");
  host::TMemIniFile ini(path);
  for (int i = 0; i < 100; ++i) ini.WriteInteger("Setup", "Key" + std::to_string(i), i);
  EXPECT_EQ(till_testing::RunInChild([&] {
              // The disk takes 64 bytes of the new text and then no more, as a full one would.
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{64, RLIM_INFINITY};
              if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
              try {
                ini.UpdateFile();
              } catch (const host::EInOutError&) {
                return 0;
              }
              return 1;
            }),
            0);
  EXPECT_EQ(ReadWholeFile(path), "[Setup]\r\nPreKey=1\r\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"ROVUDIZ.INI"});
}

TEST_F(IniFile, ALinkStaysALinkAndTheFileItLeadsToIsReplaced) {
  WriteWholeFile(PathOf("real.ini"), "[Setup]\r\n");
  fs::create_symlink("real.ini", PathOf("ROVUDIZ.INI"));
  host::TMemIniFile ini(PathOf("ROVUDIZ.INI"));
  ini.WriteInteger("Setup", "PreKey", 2);
  ini.UpdateFile();
  EXPECT_TRUE(fs::is_symlink(PathOf("ROVUDIZ.INI")));
  EXPECT_EQ(ReadWholeFile(PathOf("real.ini")), "[Setup]\r\nPreKey=2\r\n");
}
#endif

using TextFiles = TempDir;

TEST_F(TextFiles, WriteLnEndsWithCarriageReturnLineFeed) {
  host::TextFile f;
  f.AssignFile(PathOf("DEDORO.TXT"));
  f.Rewrite();
  f.WriteLn("OK");
  f.CloseFile();
  EXPECT_EQ(ReadWholeFile(PathOf("DEDORO.TXT")), "OK\r\n");
  f.Rewrite();  // a new write replaces the content
  f.WriteLn("NOT_FOUND");
  f.CloseFile();
  EXPECT_EQ(ReadWholeFile(PathOf("DEDORO.TXT")), "NOT_FOUND\r\n");
  EXPECT_TRUE(host::FileExists(PathOf("DEDORO.TXT")));
  f.Erase();
  EXPECT_FALSE(host::FileExists(PathOf("DEDORO.TXT")));
}

TEST_F(TextFiles, FailuresRaiseInOutErrors) {
  host::TextFile f;
  f.AssignFile(PathOf("missing-folder/DEDORO.TXT"));
  EXPECT_THROW(f.Rewrite(), host::EInOutError);
  EXPECT_THROW(f.WriteLn("OK"), host::EInOutError);
  EXPECT_THROW(f.CloseFile(), host::EInOutError);
  f.AssignFile(PathOf("never-written.txt"));
  EXPECT_THROW(f.Erase(), host::EInOutError);
  EXPECT_FALSE(host::RemoveFile(PathOf("never-written.txt")));
}

TEST(SysUtils, FormatCoversTheConversionsInUse) {
  EXPECT_EQ(host::Format("Device VID=%.4x PID=%.4x", {0x1a2bLL, 0x7LL}),
            "Device VID=1a2b PID=0007");
  EXPECT_EQ(host::Format("%.4x", {0x12345LL}), "12345");
  EXPECT_EQ(host::Format("READ ERROR: %s (%x)", {std::string("gone"), 1167LL}),
            "READ ERROR: gone (48f)");
  EXPECT_EQ(host::Format("%d%%", {-5LL}), "-5%");
  EXPECT_EQ(host::Format("%s and %s", {std::string("one")}), "one and %s");
  EXPECT_EQ(host::Format("%x", {-1LL}), "ffffffff");
}

TEST(SysUtils, NumbersAndCase) {
  EXPECT_EQ(host::IntToHex(0x4F, 2), "4F");
  EXPECT_EQ(host::IntToHex(0x1234, 2), "1234");
  EXPECT_EQ(host::IntToStr(-42), "-42");
  EXPECT_EQ(host::StrToIntDef("$1F", 0), 31);
  EXPECT_EQ(host::StrToIntDef("0x1f", 0), 31);
  EXPECT_EQ(host::StrToIntDef("-12", 0), -12);
  EXPECT_EQ(host::StrToIntDef("", 9), 9);
  EXPECT_EQ(host::StrToIntDef("12a", 9), 9);
  EXPECT_EQ(host::StrToIntDef("99999999999999999999", 9), 9);
  // Past 64 bits a number must not wrap round to a small one.
  EXPECT_EQ(host::StrToIntDef("18446744073709551617", 9), 9);
  EXPECT_EQ(host::StrToIntDef("0x10000000000000001", 9), 9);
  EXPECT_EQ(host::StrToIntDef("-9223372036854775807", 9), -9223372036854775807LL);
  EXPECT_EQ(host::StrToIntDef("$7FFFFFFFFFFFFFFF", 9), 0x7FFFFFFFFFFFFFFFLL);
  EXPECT_EQ(host::StrToIntDef("9223372036854775808", 9), 9);
  EXPECT_EQ(host::UpperCase("/NoErr \xD7\xA4"), "/NOERR \xD7\xA4");
}

TEST(SysUtils, Utf8AndUtf16RoundTripAndBadBytesBecomeReplacementCharacters) {
  std::string hebrew = "\xD7\xA4\xD7\xAA\xD7\x99\xD7\x97\xD7\xAA \xF0\x9F\x92\xB0";
  EXPECT_EQ(host::Utf16ToUtf8(host::Utf8ToUtf16(hebrew)), hebrew);
  EXPECT_EQ(host::Utf8ToUtf16("a\xFF"
                              "b"),
            u"a\uFFFDb");
  EXPECT_EQ(host::Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(SysUtils, PathHelpers) {
  const char d = host::PathDelim();
  std::string dir = std::string("base") + d + "sub" + d;
  EXPECT_EQ(host::ExtractFilePath(dir + "tillpop"), dir);
  EXPECT_EQ(host::ExcludeTrailingPathDelimiter(dir), std::string("base") + d + "sub");
  EXPECT_EQ(host::IncludeTrailingPathDelimiter("base"), std::string("base") + d);
  EXPECT_EQ(host::ExtractFilePath("tillpop"), "");
}

}  // namespace
