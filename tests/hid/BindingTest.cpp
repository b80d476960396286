// Binding the setup, HID and kernel32 services by name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hid/Hid.h"
#include "hid/Kernel32.h"
#include "hid/LibraryLoader.h"
#include "hid/SystemLibrary.h"
#include "hid/SetupApi.h"

namespace {

BOOL WINAPI Stub() {
  return FALSE;
}

// A library that exports every name in `names` except `missing`.
template <class Table>
hid::SymbolTable TableWithout(const Table& bindings, int count,
                              const std::set<std::string>& missing) {
  hid::SymbolTable table;
  for (int i = 0; i < count; ++i) {
    std::string name = bindings[i].exportName;
    if (missing.count(name) == 0) table.emplace_back(name, hid::FunctionCast<FARPROC>(&Stub));
  }
  return table;
}

class Binding : public ::testing::Test {
 protected:
  void TearDown() override {
    while (hid::SetupApiUsers() > 0) hid::ReleaseSetupApi();
    hid::ReleaseHid();
    hid::OverrideOsVersionForTesting(nullptr);
    hid::UnregisterLibrary(hid::kSetupApiLibraryName);
    hid::UnregisterLibrary(hid::kHidLibraryName);
  }
};

TEST_F(Binding, SetupApiFillsAllVariablesFromDistinctExportsAndSharesThroughItsCount) {
  hid::RegisterLibrary("SETUPAPI.DLL",
                       TableWithout(hid::kSetupApiBindings, hid::kSetupApiVariableCount, {}));
  std::set<std::string> distinct;
  for (const auto& b : hid::kSetupApiBindings) distinct.insert(b.exportName);
  EXPECT_EQ(distinct.size(), static_cast<size_t>(hid::kSetupApiExportCount));

  ASSERT_TRUE(hid::BindSetupApi());
  for (int i = 0; i < hid::kSetupApiVariableCount; ++i) {
    EXPECT_NE(hid::SetupApiVariable(i), nullptr) << hid::kSetupApiBindings[i].variable;
  }
  EXPECT_EQ(hid::OpenRegisteredHandles(hid::kSetupApiLibraryName), 1);
  // A second user only counts; the library stays until both have released it.
  ASSERT_TRUE(hid::BindSetupApi());
  EXPECT_EQ(hid::SetupApiUsers(), 2);
  EXPECT_EQ(hid::OpenRegisteredHandles(hid::kSetupApiLibraryName), 1);
  hid::ReleaseSetupApi();
  EXPECT_TRUE(hid::SetupApiLoaded());
  EXPECT_NE(hid::SetupDiGetClassDevsA(), nullptr);
  hid::ReleaseSetupApi();
  EXPECT_FALSE(hid::SetupApiLoaded());
  EXPECT_EQ(hid::OpenRegisteredHandles(hid::kSetupApiLibraryName), 0);
  EXPECT_EQ(hid::SetupDiGetClassDevsA(), nullptr);
}

TEST_F(Binding, PlainNamesOfAnsiWidePairsHoldTheAnsiExport) {
  int plain = -1;
  for (int i = 0; i < hid::kSetupApiVariableCount; ++i) {
    if (std::string(hid::kSetupApiBindings[i].variable) == "SetupDiGetDeviceRegistryProperty") {
      plain = i;
    }
  }
  ASSERT_GE(plain, 2);
  EXPECT_STREQ(hid::kSetupApiBindings[plain].exportName, "SetupDiGetDeviceRegistryPropertyA");
  EXPECT_STREQ(hid::kSetupApiBindings[plain - 1].exportName, "SetupDiGetDeviceRegistryPropertyW");
  EXPECT_STREQ(hid::kSetupApiBindings[plain - 2].exportName, "SetupDiGetDeviceRegistryPropertyA");
}

TEST_F(Binding, AnyMissingSetupExportReleasesTheWholeBinding) {
  hid::RegisterLibrary(hid::kSetupApiLibraryName,
                       TableWithout(hid::kSetupApiBindings, hid::kSetupApiVariableCount,
                                    {"SetupDiGetHwProfileFriendlyNameExW"}));
  EXPECT_FALSE(hid::BindSetupApi());
  EXPECT_EQ(hid::SetupApiUsers(), 0);
  EXPECT_EQ(hid::OpenRegisteredHandles(hid::kSetupApiLibraryName), 0);
  for (int i = 0; i < hid::kSetupApiVariableCount; ++i)
    EXPECT_EQ(hid::SetupApiVariable(i), nullptr);
#ifndef _WIN32  // Windows always has a setup library of its own to load
  hid::UnregisterLibrary(hid::kSetupApiLibraryName);
  EXPECT_FALSE(hid::BindSetupApi());  // no library at all
  EXPECT_EQ(hid::SetupApiUsers(), 0);
#endif
}

TEST_F(Binding, HidLibraryWithoutHidDHelloDoesNotBind) {
  hid::RegisterLibrary(hid::kHidLibraryName,
                       TableWithout(hid::kHidBindings, hid::kHidVariableCount, {"HidD_Hello"}));
  EXPECT_FALSE(hid::BindHid());
  EXPECT_FALSE(hid::HidBound());
  EXPECT_EQ(hid::HidD_GetFeature(), nullptr);
}

TEST_F(Binding, VersionGatesKeepNewerHidExportsOutOfTheBinding) {
  hid::RegisterLibrary(hid::kHidLibraryName,
                       TableWithout(hid::kHidBindings, hid::kHidVariableCount,
                                    {"HidD_GetInputReport", "HidD_SetOutputReport",
                                     "HidP_GetExtendedAttributes", "HidP_InitializeReportForID"}));
  // NT 4.0: neither gate is open, so the four missing names do not count.
  const hid::OsVersion nt4{2, 4, 0};
  hid::OverrideOsVersionForTesting(&nt4);
  EXPECT_TRUE(hid::BindHid());
  hid::ReleaseHid();
  // NT 10.0: the minor version 0 keeps the first pair out, but the second pair is asked for.
  const hid::OsVersion nt10{2, 10, 0};
  hid::OverrideOsVersionForTesting(&nt10);
  EXPECT_FALSE(hid::BindHid());
  // NT 5.1 asks for all four.
  const hid::OsVersion xp{2, 5, 1};
  hid::OverrideOsVersionForTesting(&xp);
  EXPECT_FALSE(hid::BindHid());
}

TEST_F(Binding, SecondBindHidBindsAgainWithoutASecondLoad) {
  hid::RegisterLibrary(hid::kHidLibraryName,
                       TableWithout(hid::kHidBindings, hid::kHidVariableCount, {}));
  ASSERT_TRUE(hid::BindHid());
  ASSERT_TRUE(hid::BindHid());
  EXPECT_EQ(hid::OpenRegisteredHandles(hid::kHidLibraryName), 1);
  EXPECT_NE(hid::HidP_GetCaps(), nullptr);
  hid::ReleaseHid();
  EXPECT_FALSE(hid::HidBound());
  EXPECT_EQ(hid::HidP_GetCaps(), nullptr);
}

TEST(LibraryLoader, OpeningAHeldLibraryLoadsNothingAndEachLoadIsFreedOnceByItsOwner) {
  hid::RegisterLibrary("probe.dll", {{"Probe", hid::FunctionCast<FARPROC>(&Stub)}});
  hid::LibraryHandle library;
  ASSERT_TRUE(library.Open("PROBE.DLL"));
  HMODULE first = library.Get();
  EXPECT_TRUE(library.Open("probe.dll"));
  EXPECT_EQ(library.Get(), first);
  EXPECT_EQ(hid::OpenRegisteredHandles("probe.dll"), 1);
  bool allFound = true;
  EXPECT_NE(hid::BindSymbol(library.Get(), "Probe", allFound), nullptr);
  EXPECT_TRUE(allFound);
  EXPECT_EQ(hid::BindSymbol(library.Get(), "Absent", allFound), nullptr);
  EXPECT_FALSE(allFound);
  EXPECT_NE(hid::BindSymbol(library.Get(), "Probe", allFound), nullptr);
  EXPECT_FALSE(allFound);  // never true again
  library.Close();
  EXPECT_EQ(library.Get(), nullptr);
  EXPECT_EQ(hid::FindSymbol(library.Get(), "Probe"), nullptr);
  EXPECT_EQ(hid::OpenRegisteredHandles("probe.dll"), 0);
  {
    // A second load is a handle of its own; one that changes owner is freed once, by the last.
    hid::LibraryHandle other("probe.dll");
    ASSERT_TRUE(library.Open("probe.dll"));
    library = std::move(other);
    EXPECT_EQ(hid::OpenRegisteredHandles("probe.dll"), 1);
  }
  EXPECT_EQ(hid::OpenRegisteredHandles("probe.dll"), 1);
  library = hid::LibraryHandle();
  EXPECT_EQ(hid::OpenRegisteredHandles("probe.dll"), 0);
#ifndef _WIN32
  EXPECT_FALSE(hid::LibraryHandle().Open("NoSuchLibrary.dll"));
#endif
  hid::UnregisterLibrary("probe.dll");
}

// The system's loader as each kind of Windows answers: whether the system-folder-only flag is
// understood, what a load with it does, and where the system folder is.
struct LoaderCase {
  const char* name;
  bool flagsSupported;
  DWORD flagLoadError;  // ERROR_SUCCESS: a load with the flag succeeds
  const char* systemFolder;
  std::vector<std::pair<std::string, DWORD>> expectedLoads;
  bool loaded;
};

struct FakeLoader {
  static inline const LoaderCase* current = nullptr;
  static inline std::vector<std::pair<std::string, DWORD>> loads;
  static inline DWORD lastError = ERROR_SUCCESS;

  static HMODULE Load(const char* name, DWORD flags) {
    loads.emplace_back(name, flags);
    const bool withFlag = flags == hid::kLoadLibrarySearchSystem32;
    lastError = withFlag ? current->flagLoadError : ERROR_SUCCESS;
    return lastError == ERROR_SUCCESS ? reinterpret_cast<HMODULE>(0x1000) : nullptr;
  }
  static bool Supported() { return current->flagsSupported; }
  static std::string Folder() { return current->systemFolder; }
  static DWORD LastError() { return lastError; }
};

void PrintTo(const LoaderCase& c, std::ostream* out) {
  *out << c.name;
}

constexpr DWORD kFlag = hid::kLoadLibrarySearchSystem32;
constexpr DWORD kFullPath = hid::kLoadWithAlteredSearchPath;
std::vector<LoaderCase> LoaderCases() {
  return {
      {"FlagUnderstood", true, ERROR_SUCCESS, "C:\\Windows\\system32", {{"HID.dll", kFlag}}, true},
      {"Windows7WithoutTheUpdate",
       false,
       ERROR_SUCCESS,
       "C:\\Windows\\system32",
       {{"C:\\Windows\\system32\\HID.dll", kFullPath}},
       true},
      {"FlagRefusedAfterAll",
       true,
       ERROR_INVALID_PARAMETER,
       "C:\\WINDOWS\\System32\\",
       {{"HID.dll", kFlag}, {"C:\\WINDOWS\\System32\\HID.dll", kFullPath}},
       true},
      {"LibraryMissing",
       true,
       ERROR_MOD_NOT_FOUND,
       "C:\\Windows\\system32",
       {{"HID.dll", kFlag}},
       false},
      {"NoSystemFolder", false, ERROR_SUCCESS, "", {}, false},
  };
}

class SystemLibrary : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(SystemLibrary, LoadsFromTheSystemFolderOnlyAndNeverByTheSearchPath) {
  FakeLoader::current = &GetParam();
  FakeLoader::loads.clear();
  const hid::SystemLoader loader{&FakeLoader::Load, &FakeLoader::Supported, &FakeLoader::Folder,
                                 &FakeLoader::LastError};
  HMODULE module = hid::LoadSystemLibrary("HID.dll", loader);
  EXPECT_EQ(module != nullptr, GetParam().loaded);
  EXPECT_EQ(FakeLoader::loads, GetParam().expectedLoads);
}

INSTANTIATE_TEST_SUITE_P(Loaders, SystemLibrary, ::testing::ValuesIn(LoaderCases()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
