// Binding the setup, HID and kernel32 services by name.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hid/Hid.h"
#include "hid/Kernel32.h"
#include "hid/LibraryLoader.h"
#include "hid/SystemLibrary.h"
#include "hid/SetupApi.h"
#include "host/Process.h"
#include "host/SysUtils.h"

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

// The device-interface calls are bound twice, the second time into alias rows after all the
// others and in the same order, each from the export of its first row; nothing else is.
TEST(BindingTables, OnlyTheDeviceInterfaceCallsHaveAliasRowsAndThoseComeLast) {
  const std::set<std::string> aliased = {
      "SetupDiEnumDeviceInterfaces",        "SetupDiCreateDeviceInterface",
      "SetupDiOpenDeviceInterface",         "SetupDiGetDeviceInterfaceAlias",
      "SetupDiDeleteDeviceInterfaceData",   "SetupDiRemoveDeviceInterface",
      "SetupDiGetDeviceInterfaceDetail",    "SetupDiInstallDeviceInterfaces",
      "SetupDiCreateDeviceInterfaceRegKey", "SetupDiOpenDeviceInterfaceRegKey",
      "SetupDiDeleteDeviceInterfaceRegKey"};
  const std::string prefix = "Alias_";
  std::vector<int> originals;
  for (int i = 0; i < hid::kSetupApiVariableCount; ++i) {
    std::string variable = hid::kSetupApiBindings[i].variable;
    if (variable.rfind(prefix, 0) == 0) continue;
    // The ANSI and wide forms of a name share its alias.
    std::string name = variable;
    if (aliased.count(name) == 0 && (name.back() == 'A' || name.back() == 'W')) name.pop_back();
    if (aliased.count(name) != 0) originals.push_back(i);
  }
  std::vector<int> aliases;
  for (int i = 0; i < hid::kSetupApiVariableCount; ++i) {
    const std::string variable = hid::kSetupApiBindings[i].variable;
    if (variable.rfind(prefix, 0) == 0) aliases.push_back(i);
  }
  ASSERT_EQ(aliases.size(), originals.size());
  EXPECT_EQ(aliases.front(), hid::kSetupApiVariableCount - static_cast<int>(aliases.size()));
  for (std::size_t k = 0; k < aliases.size(); ++k) {
    const auto& alias = hid::kSetupApiBindings[aliases[k]];
    const auto& original = hid::kSetupApiBindings[originals[k]];
    EXPECT_EQ(alias.variable, prefix + original.variable);
    EXPECT_STREQ(alias.exportName, original.exportName) << alias.variable;
  }
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

// A library lacking one export still binds where that export's gate is closed, and only there.
TEST_F(Binding, VersionGatesKeepNewerHidExportsOutOfTheBinding) {
  const hid::OsVersion nt4{2, 4, 0}, nt10{2, 10, 0}, xp{2, 5, 1}, win98{1, 4, 10};
  const struct {
    const char* missing;
    bool bindsOn[4];  // NT 4.0, NT 10.0 (minor 0), NT 5.1, Windows 98
  } cases[] = {
      {"HidD_GetInputReport", {true, true, false, true}},
      {"HidD_SetOutputReport", {true, true, false, true}},
      {"HidP_GetExtendedAttributes", {true, false, false, true}},
      {"HidP_InitializeReportForID", {true, false, false, true}},
      {"HidD_GetFeature", {false, false, false, false}},
  };
  const hid::OsVersion* systems[] = {&nt4, &nt10, &xp, &win98};
  for (const auto& c : cases) {
    hid::RegisterLibrary(hid::kHidLibraryName,
                         TableWithout(hid::kHidBindings, hid::kHidVariableCount, {c.missing}));
    for (int s = 0; s < 4; ++s) {
      hid::OverrideOsVersionForTesting(systems[s]);
      EXPECT_EQ(hid::BindHid(), c.bindsOn[s]) << c.missing << " on system " << s;
      hid::ReleaseHid();
    }
  }
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
  static inline std::vector<DWORD> searches;
  static bool SetDefaultSearch(DWORD flags) {
    searches.push_back(flags);
    return true;
  }
};

constexpr hid::SystemLoader kFakeLoader{&FakeLoader::Load, &FakeLoader::Supported,
                                        &FakeLoader::Folder, &FakeLoader::LastError,
                                        &FakeLoader::SetDefaultSearch};

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
  FakeLoader::searches.clear();
  HMODULE module = hid::LoadSystemLibrary("HID.dll", kFakeLoader);
  EXPECT_EQ(module != nullptr, GetParam().loaded);
  EXPECT_EQ(FakeLoader::loads, GetParam().expectedLoads);
  // The process's search too: the system folder alone (not the program's), where it can be.
  EXPECT_EQ(hid::RestrictLibrarySearch(kFakeLoader), GetParam().flagsSupported);
  EXPECT_EQ(FakeLoader::searches,
            GetParam().flagsSupported ? std::vector<DWORD>{kFlag} : std::vector<DWORD>{});
}

INSTANTIATE_TEST_SUITE_P(Loaders, SystemLibrary, ::testing::ValuesIn(LoaderCases()),
                         [](const auto& param) { return std::string(param.param.name); });

#ifdef _WIN32
// On the system itself: a file of a library's name beside the program is tried by the ordinary
// search (and refused, being no library), and not even looked for once the search is restricted.
TEST(SystemLibraryWin32, ALibraryBesideTheProgramIsNotLookedForOnceRestricted) {
  const std::string name = "planted" + std::to_string(GetCurrentProcessId()) + ".dll";
  const std::string path = host::ExtractFilePath(host::ModuleFileName()) + name;
  std::ofstream(path) << "not a library";
  EXPECT_EQ(LoadLibraryA(name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  ASSERT_TRUE(hid::RestrictLibrarySearch(hid::Win32SystemLoader()));
  EXPECT_EQ(LoadLibraryA(name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  hid::Win32SystemLoader().setDefaultSearch(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);  // the rest's
  DeleteFileA(path.c_str());
}
#endif

}  // namespace
