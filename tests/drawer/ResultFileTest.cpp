// The result file beside the executable and the /NOERR switch.
#include <gtest/gtest.h>

#include <filesystem>

#include "drawer/public_u.h"
#include "host/Exception.h"
#include "host/Process.h"
#include "host/SysUtils.h"
#include "tests/TestFolder.h"

#ifdef _WIN32
#include <windows.h>

#include "hid/ServiceHandle.h"
#else
#include <sys/stat.h>
#endif

namespace {

class ResultFile : public ::testing::Test {
 protected:
  void SetUp() override {
    host::SetCommandLine({"tillpop"});
    std::error_code ec;
    std::filesystem::remove(host::FsPath(public_u::ResultFileName()), ec);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove(host::FsPath(public_u::ResultFileName()), ec);
    host::SetCommandLine({});
  }
  static std::string Content() {
    return till_testing::ReadWholeFile(host::FsPath(public_u::ResultFileName()));
  }
};

TEST_F(ResultFile, OnlyTheFirstParameterCountsAndItsCaseDoesNot) {
  EXPECT_TRUE(public_u::ResultFileWanted());
  host::SetCommandLine({"tillpop", "/noerr"});
  EXPECT_FALSE(public_u::ResultFileWanted());
  host::SetCommandLine({"tillpop", "/NoErr", "more"});
  EXPECT_FALSE(public_u::ResultFileWanted());
  host::SetCommandLine({"tillpop", "x", "/NOERR"});
  EXPECT_TRUE(public_u::ResultFileWanted());
  host::SetCommandLine({"tillpop", "/NOERRX"});
  EXPECT_TRUE(public_u::ResultFileWanted());
}

TEST_F(ResultFile, NameSitsBesideTheProgramWithOneDelimiterEvenAtARoot) {
#ifdef _WIN32
  EXPECT_EQ(public_u::ResultFileNameFor("C:\\tillpop.exe"), "C:\\DEDORO.TXT");
  EXPECT_EQ(public_u::ResultFileNameFor("C:\\pos\\till\\tillpop.exe"), "C:\\pos\\till\\DEDORO.TXT");
#else
  EXPECT_EQ(public_u::ResultFileNameFor("/tillpop"), "/DEDORO.TXT");
  EXPECT_EQ(public_u::ResultFileNameFor("/opt/till/tillpop"), "/opt/till/DEDORO.TXT");
#endif
  EXPECT_EQ(public_u::ResultFileName(), public_u::ResultFileNameFor(host::ModuleFileName()));
}

TEST_F(ResultFile, WriteReplacesTheContentWithOneLineAndEraseRemovesIt) {
  public_u::WriteResultFile("NOT_FOUND");
  public_u::WriteResultFile("OK");
  EXPECT_EQ(Content(), "OK\r\n");
  public_u::EraseResultFile();
  EXPECT_FALSE(host::FileExists(public_u::ResultFileName()));
  public_u::EraseResultFile();  // nothing there: still nothing said
}

TEST_F(ResultFile, NoErrLeavesAnExistingFileAlone) {
  public_u::WriteResultFile("OK");
  host::SetCommandLine({"tillpop", "/noerr"});
  public_u::EraseResultFile();
  public_u::WriteResultFile("NOT_FOUND");
  host::SetCommandLine({"tillpop"});
  EXPECT_EQ(Content(), "OK\r\n");
}

#ifdef _WIN32
TEST_F(ResultFile, AFileLockedByAnotherProgramIsNeitherReplacedNorReported) {
  public_u::WriteResultFile("OK");
  std::u16string name = host::Utf8ToUtf16(public_u::ResultFileName());
  hid::DeviceHandle lock(CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ,
                                     0, nullptr, OPEN_EXISTING, 0, nullptr),
                         &CloseHandle);
  ASSERT_TRUE(lock.Valid());
  EXPECT_NO_THROW(public_u::WriteResultFile("NOT_FOUND"));
  EXPECT_NO_THROW(public_u::EraseResultFile());
  lock.Close();
  EXPECT_EQ(Content(), "OK\r\n");
}
#else
// A name planted by another account: a new file takes its place, group-writable whatever the umask.
TEST_F(ResultFile, ALinkOrAPipeUnderTheNameIsReplacedNotFollowed) {
  const till_testing::TestFolder elsewhere("till-result-");
  const std::string name = public_u::ResultFileName();
  std::filesystem::create_symlink(elsewhere / "planted", name);
  public_u::WriteResultFile("OK");
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "planted"));
  EXPECT_EQ(Content(), "OK\r\n");
  EXPECT_EQ(std::filesystem::symlink_status(name).permissions(), std::filesystem::perms{0664});
  std::filesystem::remove(name);
  ASSERT_EQ(mkfifo(name.c_str(), 0666), 0);
  public_u::WriteResultFile("NOT_FOUND");  // no reader: a write to the pipe would wait for one
  EXPECT_EQ(Content(), "NOT_FOUND\r\n");
}
#endif

}  // namespace
