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

// The tables are the binding order: rows at their known places, the plain name of an ANSI and
// wide pair holding the ANSI export, the alias rows last, each repeating an earlier row in order,
// and the HID gates and second bindings where they belong.
TEST(BindingTables, RowsStandInBindingOrderWithTheAliasRowsLast) {
  struct SetupRow {
    int index;
    const char* variable;
    const char* exportName;
  };
  constexpr int kFirstAlias = 377;
  const SetupRow setupRows[] = {
      {0, "SetupGetInfInformationA", "SetupGetInfInformationA"},
      {1, "SetupGetInfInformationW", "SetupGetInfInformationW"},
      {2, "SetupGetInfInformation", "SetupGetInfInformationA"},
      {15, "SetupOpenMasterInf", "SetupOpenMasterInf"},
      {231, "SetupDiDestroyDeviceInfoList", "SetupDiDestroyDeviceInfoList"},
      {232, "SetupDiEnumDeviceInterfaces", "SetupDiEnumDeviceInterfaces"},
      {242, "SetupDiGetDeviceInterfaceDetailA", "SetupDiGetDeviceInterfaceDetailA"},
      {262, "SetupDiGetClassDevsA", "SetupDiGetClassDevsA"},
      {315, "SetupDiGetDeviceRegistryPropertyA", "SetupDiGetDeviceRegistryPropertyA"},
      {316, "SetupDiGetDeviceRegistryPropertyW", "SetupDiGetDeviceRegistryPropertyW"},
      {317, "SetupDiGetDeviceRegistryProperty", "SetupDiGetDeviceRegistryPropertyA"},
      {kFirstAlias - 1, "SetupDiGetActualSectionToInstall", "SetupDiGetActualSectionToInstallA"},
      {kFirstAlias, "Alias_SetupDiEnumDeviceInterfaces", "SetupDiEnumDeviceInterfaces"},
      {389, "Alias_SetupDiGetDeviceInterfaceDetail", "SetupDiGetDeviceInterfaceDetailA"},
      {395, "Alias_SetupDiDeleteDeviceInterfaceRegKey", "SetupDiDeleteDeviceInterfaceRegKey"},
  };
  for (const SetupRow& row : setupRows) {
    EXPECT_STREQ(hid::kSetupApiBindings[row.index].variable, row.variable) << row.index;
    EXPECT_STREQ(hid::kSetupApiBindings[row.index].exportName, row.exportName) << row.index;
  }
  const std::string prefix = "Alias_";
  int repeated = -1;
  for (int i = kFirstAlias; i < hid::kSetupApiVariableCount; ++i) {
    const std::string variable = hid::kSetupApiBindings[i].variable;
    ASSERT_EQ(variable.rfind(prefix, 0), 0u) << variable;
    const int at = hid::RowOf(hid::kSetupApiBindings, variable.substr(prefix.size()).c_str());
    EXPECT_GT(at, repeated) << variable;
    EXPECT_LT(at, kFirstAlias) << variable;
    if (at >= 0) {
      EXPECT_STREQ(hid::kSetupApiBindings[at].exportName, hid::kSetupApiBindings[i].exportName);
    }
    repeated = at;
  }

  struct HidRow {
    int index;
    const char* variable;
    const char* exportName;
    hid::HidGate gate;
  };
  const HidRow hidRows[] = {
      {0, "HidD_Hello", "HidD_Hello", hid::HidGate::kAlways},
      {17, "HidD_GetInputReport", "HidD_GetInputReport", hid::HidGate::kNt51},
      {18, "HidD_SetOutputReport", "HidD_SetOutputReport", hid::HidGate::kNt51},
      {19, "HidP_GetCaps", "HidP_GetCaps", hid::HidGate::kAlways},
      {26, "HidP_GetUsages", "HidP_GetUsages", hid::HidGate::kAlways},
      {27, "HidP_GetUsages_2", "HidP_GetUsages", hid::HidGate::kAlways},
      {35, "HidP_MaxUsageListLength_2", "HidP_MaxUsageListLength", hid::HidGate::kAlways},
      {43, "HidP_TranslateUsagesToI8042ScanCodes", "HidP_TranslateUsagesToI8042ScanCodes",
       hid::HidGate::kAlways},
      {44, "HidP_GetExtendedAttributes", "HidP_GetExtendedAttributes", hid::HidGate::kNt50},
      {45, "HidP_InitializeReportForID", "HidP_InitializeReportForID", hid::HidGate::kNt50},
  };
  for (const HidRow& row : hidRows) {
    EXPECT_STREQ(hid::kHidBindings[row.index].variable, row.variable) << row.index;
    EXPECT_STREQ(hid::kHidBindings[row.index].exportName, row.exportName) << row.index;
    EXPECT_EQ(hid::kHidBindings[row.index].gate, row.gate) << row.index;
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
