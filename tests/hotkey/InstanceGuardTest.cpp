// The single-instance guard: who is admitted, what a refused copy does, and what its count leaves
// behind. Another copy of this test program is played by a handle of the same block, holding it
// and writing it as that process would.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/Application.h"
#include "host/Messages.h"
#include "host/Process.h"
#include "host/Shell.h"
#include "host/portable/Clock.h"
#include "host/portable/ShellModel.h"
#include "hotkey/InstanceGuard.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

using InstanceGuard::ActiveInstanceGuard;
using InstanceGuard::BlockToHandle;
using InstanceGuard::GuardMappingName;
using InstanceGuard::HandleToBlock;
using InstanceGuard::MappingNameFor;
using InstanceGuard::ReadRunningInstance;
using InstanceGuard::TInstanceGuard;
using InstanceGuard::TSharedInstanceInfo;

LRESULT Ignore(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

// Another copy started from `exePath`: its own hold on the block, with the count and window
// handle it wrote there.
struct OtherCopy {
  OtherCopy(const std::string& exePath, std::uint32_t count, HWND window) {
    DWORD error = 0;
    bool existed = false;
    mapping = host::CreateNamedMapping(GuardMappingName(exePath), 8, existed, error);
    if (mapping) view = host::MapView(mapping, 8, error);
    EXPECT_TRUE(view) << error;
    Info() = {HandleToBlock(window), count};
  }
  // A view that failed has failed the test already: it reads as a block of its own.
  TSharedInstanceInfo& Info() const {
    static TSharedInstanceInfo none{};
    return view ? *static_cast<TSharedInstanceInfo*>(view.Get()) : none;
  }
  host::MappingHandle mapping;
  host::MappedView view;
};

// What the refused copy's event saw, and the state of things at that moment.
struct Reached {
  host::TObject* sender = nullptr;
  std::uint32_t handle = 0;
  bool showMainForm = true;
  bool ownWindowVisible = true;
  std::size_t foregroundRequests = 0;
};

class Guard : public ::testing::Test {
 public:
  void OnReached(host::TObject* sender, std::uint32_t handle) {
    reached_.push_back({sender, handle, app_->ShowMainForm, host::IsWindowVisible(app_->Handle()),
                        host::portable::TakeForegroundRequests().size()});
  }

 protected:
  void SetUp() override {
    host::portable::UseVirtualClock();
    StartApplication();
    exe_ = app_->ExeName();
  }
  void TearDown() override {
    owner_.reset();
    app_.reset();
    host::portable::ResetShell();
    host::portable::UseRealClock();
    // Every block went with its last handle.
    TSharedInstanceInfo info{};
    DWORD error = ERROR_GEN_FAILURE;
    EXPECT_FALSE(ReadRunningInstance(exe_, info, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << "no block is not an unreadable one";
  }
  // A fresh start of this copy, its taskbar button shown as its main form brings it.
  void StartApplication() {
    owner_.reset();
    app_.reset();
    host::portable::ResetShell();
    reached_.clear();
    app_ = std::make_unique<host::TApplication>();
    host::ShowWindow(app_->Handle(), SW_SHOW);
    owner_ = std::make_unique<host::TComponent>(nullptr);
  }
  // A guard as the form resource makes it: created while its owner loads, Loaded at the end.
  TInstanceGuard* Load(std::uint32_t maxInstances, bool enabled = true) {
    owner_->BeginLoading();
    auto* guard = new TInstanceGuard(owner_.get());
    guard->MaxInstances = maxInstances;
    guard->Enabled = enabled;
    guard->OnMaxInstancesReached =
        InstanceGuard::TMaxInstancesReachedEvent::Of<&Guard::OnReached>(this);
    owner_->EndLoading();
    return guard;
  }
  TSharedInstanceInfo Block() const {
    TSharedInstanceInfo info{};
    DWORD error = 0;
    EXPECT_TRUE(ReadRunningInstance(exe_, info, error)) << error;
    return info;
  }
  HWND Own() const { return app_->Handle(); }

  std::unique_ptr<host::TApplication> app_;
  std::unique_ptr<host::TComponent> owner_;
  std::string exe_;
  std::vector<Reached> reached_;
  host::HiddenWindow otherWindow_{host::WndMethod::Of<&Ignore>()};
};

TEST_F(Guard, TheFirstCopyCreatesTheBlockAndItsEndTakesTheBlockAway) {
  TInstanceGuard* guard = Load(1);
  EXPECT_EQ(ActiveInstanceGuard, guard);
  EXPECT_TRUE(guard->Counted);
  EXPECT_EQ(guard->MappingName, GuardMappingName(exe_));
  EXPECT_TRUE(guard->MappingHandle);
  EXPECT_EQ(Block().InstanceCount, 1u);
  EXPECT_EQ(Block().LastInstanceHandle, HandleToBlock(Own()));
  EXPECT_FALSE(app_->Terminated());
  EXPECT_TRUE(app_->ShowMainForm);
  EXPECT_TRUE(reached_.empty());

  delete guard;
  EXPECT_EQ(ActiveInstanceGuard, nullptr);
  // The next start is a first copy again.
  DWORD error = 0;
  bool existed = true;
  const host::MappingHandle next =
      host::CreateNamedMapping(GuardMappingName(exe_), 8, existed, error);
  EXPECT_TRUE(next);
  EXPECT_FALSE(existed);
}

TEST_F(Guard, ACopyIsAdmittedWhileTheCountIsBelowMaxInstances) {
  constexpr std::uint32_t kNone = 0xFFFFFFFF;
  const struct {
    const char* what;
    std::uint32_t running;  // the count another copy left; kNone: no copy runs
    std::uint32_t maxInstances;
    bool admitted;
  } cases[] = {
      {"no block: the creator runs even with MaxInstances 0", kNone, 0, true},
      {"MaxInstances 0 refuses every further copy", 0, 0, false},
      {"below the limit", 1, 2, true},
      {"at the limit", 2, 2, false},
      {"over a lowered limit", 3, 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartApplication();
    std::unique_ptr<OtherCopy> other;
    if (c.running != kNone) {
      other = std::make_unique<OtherCopy>(exe_, c.running, otherWindow_.Handle());
    }
    const std::uint32_t before = other ? c.running : 0;
    const HWND lastBefore = other ? otherWindow_.Handle() : nullptr;
    TInstanceGuard* guard = Load(c.maxInstances);
    EXPECT_EQ(guard->Counted, c.admitted);
    EXPECT_EQ(app_->Terminated(), !c.admitted);
    EXPECT_EQ(reached_.size(), c.admitted ? 0u : 1u);
    EXPECT_EQ(Block().InstanceCount, c.admitted ? before + 1 : before);
    EXPECT_EQ(BlockToHandle(Block().LastInstanceHandle), c.admitted ? Own() : lastBefore);
    delete guard;
    if (other) {
      // Its end gives back what it took, and the last handle is not reset.
      EXPECT_EQ(other->Info().InstanceCount, before);
      EXPECT_EQ(BlockToHandle(other->Info().LastInstanceHandle), c.admitted ? Own() : lastBefore);
    }
  }
}

TEST_F(Guard, ARefusedCopyHidesSurfacesTheLastCopyAndEnds) {
  const struct {
    const char* what;
    int lastShown;  // how the last copy's window is when this one starts
    bool visibleAfter;
  } cases[] = {
      {"a minimized window is restored", SW_MINIMIZE, true},
      {"a window that is not minimized is left as it is", SW_HIDE, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartApplication();
    const HWND last = otherWindow_.Handle();
    host::ShowWindow(last, c.lastShown);
    const OtherCopy other(exe_, 1, last);
    TInstanceGuard* guard = Load(1);

    EXPECT_FALSE(guard->Counted);
    EXPECT_FALSE(app_->ShowMainForm);
    EXPECT_FALSE(host::IsWindowVisible(Own()));
    EXPECT_EQ(reached_.size(), 1u);
    const Reached seen = reached_.empty() ? Reached{} : reached_.front();
    EXPECT_EQ(seen.sender, guard);
    EXPECT_EQ(seen.handle, HandleToBlock(last));
    // The event comes after the hiding and before the other copy is surfaced.
    EXPECT_FALSE(seen.showMainForm);
    EXPECT_FALSE(seen.ownWindowVisible);
    EXPECT_EQ(seen.foregroundRequests, 0u);
    EXPECT_FALSE(host::IsIconic(last));
    EXPECT_EQ(host::IsWindowVisible(last), c.visibleAfter);
    EXPECT_EQ(host::portable::TakeForegroundRequests(), std::vector<HWND>{last});
    EXPECT_TRUE(app_->Terminated());

    EXPECT_EQ(other.Info().InstanceCount, 1u);
    delete guard;
    EXPECT_EQ(other.Info().InstanceCount, 1u);  // a refused copy's end lowers nothing
  }
}

TEST_F(Guard, ADisabledGuardUsesNoSharedMemory) {
  TInstanceGuard* guard = Load(1, false);
  EXPECT_FALSE(guard->MappingHandle);
  EXPECT_TRUE(guard->MappingName.empty());
  TSharedInstanceInfo info{};
  DWORD error = 0;
  EXPECT_FALSE(ReadRunningInstance(exe_, info, error));
  EXPECT_TRUE(guard->Counted);
  EXPECT_FALSE(app_->Terminated());
}

TEST_F(Guard, PathsThatDifferOnlyInBackslashesAndBlanksShareOneCount) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Shop Tools\\opener.exe", "C:ShopToolsopener.exe"},
      {"C:\\A B\\t.exe", "C:ABt.exe"},
      {"C:\\AB\\t.exe", "C:ABt.exe"},
      {"/opt/till pop/tillkey", "/opt/tillpop/tillkey"},
      {" \\ ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MappingNameFor(c.path), c.name) << c.path;

  const OtherCopy other("\\" + exe_ + " \\ ", 1, otherWindow_.Handle());
  const TInstanceGuard* guard = Load(1);
  EXPECT_FALSE(guard->Counted);
}

TEST_F(Guard, ASecondGuardInOneProcessRaisesAndTheFirstStays) {
  TInstanceGuard* first = Load(1);
  try {
    new TInstanceGuard(owner_.get());
    ADD_FAILURE() << "no exception";
  } catch (const InstanceGuard::EInstanceGuard& e) {
    EXPECT_EQ(e.Message(), "Only one copy of this component can be dropped on a form!");
  }
  EXPECT_EQ(owner_->ComponentCount(), 1);
  EXPECT_EQ(ActiveInstanceGuard, first);
  EXPECT_EQ(Block().InstanceCount, 1u);
}

// Kernel object names heed letter case; file names on Windows do not, and a link or junction
// reaches one folder by two paths.
TEST(GuardBlock, OneExecutableReachedTwoWaysHasOneName) {
  const std::filesystem::path exe = host::ModuleFileName();
#ifdef _WIN32
  std::string other = exe.string();
  for (char& c : other) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#else
  const std::filesystem::path link =
      std::filesystem::temp_directory_path() / ("guard-link." + std::to_string(getpid()));
  std::filesystem::create_directory_symlink(exe.parent_path(), link);
  const std::string other = (link / exe.filename()).string();
#endif
  EXPECT_NE(MappingNameFor(other), MappingNameFor(exe.string()));
  EXPECT_EQ(GuardMappingName(other), GuardMappingName(exe.string()));
#ifndef _WIN32
  std::filesystem::remove(link);
#endif
}

TEST(GuardBlock, WindowHandlesSurviveTheBlock) {
  for (const std::intptr_t value : {std::intptr_t{0}, std::intptr_t{0x10020}, std::intptr_t{-2},
                                    std::intptr_t{0x7FFFFFFF}, std::intptr_t{-0x80000000LL}}) {
    const HWND wnd = reinterpret_cast<HWND>(value);
    EXPECT_EQ(BlockToHandle(HandleToBlock(wnd)), wnd) << value;
  }
}

#ifndef _WIN32
// A guard whose owner is never freed gives its count back when the program ends, from another
// process than the copy that keeps running.
TEST_F(Guard, AGuardLeftAtProgramEndGivesItsCountBack) {
  const OtherCopy other(exe_, 1, otherWindow_.Handle());
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    auto* guard = new TInstanceGuard(nullptr);
    guard->MaxInstances = 2;
    guard->BeginLoading();
    guard->EndLoading();
    const bool admitted = guard->Counted && other.Info().InstanceCount == 2;
    std::exit(admitted ? 0 : 3);  // static objects are destroyed, the guard's unit among them
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(other.Info().InstanceCount, 1u);
}
#endif

}  // namespace
