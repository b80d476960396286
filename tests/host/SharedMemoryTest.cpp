// Named shared memory and the named lock: one block per name, shared by all its holders and gone
// with the last of them; a lock that keeps its holders apart. On POSIX, other processes too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "host/Exception.h"
#include "host/SharedMemory.h"
#include "host/SysUtils.h"

#ifdef _WIN32
#include <process.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>
#endif

namespace {

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return getpid();
#endif
}

// Apart from the names of test programs running at the same time.
std::string Token() {
  return "till-test-" + std::to_string(ProcessId()) + "-";
}

// The block's first word. A view that failed has failed the test already: it reads as a word of
// its own rather than crash the program.
std::uint32_t& Word(const host::MappedView& view) {
  static std::uint32_t none = 0;
  return view ? *static_cast<std::uint32_t*>(view.Get()) : none;
}

// A handle of a block with a view of its first 8 bytes.
struct Hold {
  host::MappingHandle mapping;
  host::MappedView view;
  bool existed = false;
};

Hold Create(const std::string& name) {
  Hold hold;
  DWORD error = 1;
  hold.mapping = host::CreateNamedMapping(name, 8, hold.existed, error);
  EXPECT_TRUE(hold.mapping) << name << " error " << error;
  if (hold.mapping) hold.view = host::MapView(hold.mapping, 8, error);
  EXPECT_TRUE(hold.view) << name << " error " << error;
  return hold;
}

class SharedMemory : public ::testing::Test {
 protected:
#ifndef _WIN32
  // Nothing of the test's names stays in the shared-memory file system: no block, no lock file.
  void TearDown() override {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
      const std::string file = entry.path().filename().string();
      if (file.find(Token()) != std::string::npos) left.push_back(file);
    }
    EXPECT_TRUE(left.empty()) << left.front();
  }
#endif
};

TEST_F(SharedMemory, ABlockLivesWhileAnyHandleDoesAndComesBackZeroed) {
  const std::string name = Token() + "life";
  Hold first = Create(name);
  EXPECT_FALSE(first.existed);
  EXPECT_EQ(Word(first.view), 0u);
  Word(first.view) = 0x1234;
  first.view.Reset();

  Hold second = Create(name);
  EXPECT_TRUE(second.existed);
  DWORD error = 1;
  host::MappingHandle opened = host::OpenNamedMapping(name, error);
  ASSERT_TRUE(opened);
  EXPECT_EQ(error, ERROR_SUCCESS);
  EXPECT_EQ(Word(host::MapView(opened, 8, error)), 0x1234u);
  EXPECT_EQ(Word(second.view), 0x1234u);

  first.mapping.Reset();
  second = Hold{};
  EXPECT_TRUE(host::OpenNamedMapping(name, error));  // `opened` still holds it
  opened.Reset();
  EXPECT_FALSE(host::OpenNamedMapping(name, error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  const Hold next = Create(name);
  EXPECT_FALSE(next.existed);
  EXPECT_EQ(Word(next.view), 0u);
}

TEST_F(SharedMemory, NamesThatDifferNameDifferentBlocks) {
  std::string longName;
  // Within the 260 characters of a Windows object name; too long for a file name once escaped.
  for (int i = 0; i < 50; ++i) longName += "abc/";
  const struct {
    std::string a, b;
  } cases[] = {
      {"a/b", "a%2Fb"},                                      // an escaped name is a name too
      {"a%b", "a%25b"},                                      //
      {longName + Token() + "1", longName + Token() + "2"},  // too long for a file name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    const Hold a = Create(Token() + c.a);
    Word(a.view) = 1;
    const Hold b = Create(Token() + c.b);
    EXPECT_FALSE(b.existed);
    EXPECT_EQ(Word(b.view), 0u);
    EXPECT_TRUE(Create(Token() + c.a).existed);
  }
}

TEST_F(SharedMemory, ALockIsNoBlockAndKeepsItsHoldersApart) {
  const std::string name = Token() + "counter";
  DWORD error = 1;
  // Holding the lock "x" does not stand in the way of the block "x".
  const host::NamedLock outer = host::AcquireNamedLock(name, error);
  ASSERT_TRUE(outer.Held()) << error;
  const Hold block = Create(name);
  EXPECT_FALSE(block.existed);

  // Increments that would lose each other without the lock between the read and the write.
  constexpr int kRounds = 300;
  const std::string lockName = Token() + "increment";
  auto count = [&] {
    for (int i = 0; i < kRounds; ++i) {
      DWORD lockError = 1;
      const host::NamedLock lock = host::AcquireNamedLock(lockName, lockError);
      if (!lock.Held()) return;
      // A separate load and store, each atomic only so that the thread checker, which cannot
      // see the lock between processes, does not report them; the pair is kept whole by the lock.
      std::atomic_ref<std::uint32_t> word(Word(block.view));
      const std::uint32_t seen = word.load(std::memory_order_relaxed);
      std::this_thread::yield();
      word.store(seen + 1, std::memory_order_relaxed);
    }
  };
  std::thread other(count);
  count();
  other.join();
  EXPECT_EQ(std::atomic_ref<std::uint32_t>(Word(block.view)).load(), 2u * kRounds);
}

TEST_F(SharedMemory, AFailedCallRaisesTheSystemsErrorWithItsText) {
  DWORD error = 0;
  EXPECT_FALSE(host::OpenNamedMapping(Token() + "none", error));
  try {
    host::RaiseLastOSError(error);
  } catch (const host::EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 2u);
    EXPECT_EQ(e.Message(), "System Error.  Code: 2.\n" + host::SysErrorMessage(2));
    return;
  }
  ADD_FAILURE() << "nothing raised";
}

#ifndef _WIN32

// A child process that runs `body` and then waits until its parent writes a byte or ends;
// `ready` tells the parent when body is done.
class Child {
 public:
  template <class Body>
  explicit Child(Body body) {
    EXPECT_EQ(pipe(ready_), 0);
    EXPECT_EQ(pipe(go_), 0);
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int result = body();
      char byte = 0;
      (void)!write(ready_[1], &byte, 1);
      const int goOn = static_cast<int>(read(go_[0], &byte, 1));
      _exit(result != 0 ? result : (goOn == 1 ? 0 : 9));
    }
    close(ready_[1]);
    close(go_[0]);
    char byte = 0;
    EXPECT_EQ(read(ready_[0], &byte, 1), 1);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    close(ready_[0]);
    close(go_[1]);
  }
  // Lets it end by itself; gives its exit code (-1 when it did not end normally).
  int Finish() {
    const char byte = 0;
    EXPECT_EQ(write(go_[1], &byte, 1), 1);
    return Wait();
  }
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  int Wait() const {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int ready_[2] = {-1, -1};
  int go_[2] = {-1, -1};
  pid_t pid_ = -1;
};

TEST_F(SharedMemory, ABlockIsSharedWithAnotherProcess) {
  const std::string name = Token() + "shared";
  Child child([&] {
    static Hold hold;  // held until the child ends
    DWORD error = 0;
    hold.mapping = host::CreateNamedMapping(name, 8, hold.existed, error);
    if (hold.mapping) hold.view = host::MapView(hold.mapping, 8, error);
    if (!hold.view || hold.existed) return 1;
    Word(hold.view) = 77;
    return 0;
  });
  const Hold parent = Create(name);
  EXPECT_TRUE(parent.existed);
  EXPECT_EQ(Word(parent.view), 77u);
  EXPECT_EQ(child.Finish(), 0);
  DWORD error = 0;
  EXPECT_TRUE(host::OpenNamedMapping(name, error));  // the parent still holds it
}

TEST_F(SharedMemory, WhatAKilledHolderLeftIsNoLiveBlockAndNoHeldLock) {
  const std::string name = Token() + "killed";
  auto leaveALeftover = [&] {
    Child child([&] {
      static Hold hold;
      static host::NamedLock lock;
      DWORD error = 0;
      lock = host::AcquireNamedLock(name, error);
      hold.mapping = host::CreateNamedMapping(name, 8, hold.existed, error);
      if (hold.mapping) hold.view = host::MapView(hold.mapping, 8, error);
      if (!hold.view || !lock.Held()) return 1;
      Word(hold.view) = 0x55;
      return 0;
    });
    child.Kill();
  };

  leaveALeftover();
  DWORD error = 0;
  EXPECT_FALSE(host::OpenNamedMapping(name, error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  leaveALeftover();
  {
    const Hold next = Create(name);
    EXPECT_FALSE(next.existed);
    EXPECT_EQ(Word(next.view), 0u);
  }
  // Taken at once (else the test hangs), and its release clears the killed holder's lock file.
  EXPECT_TRUE(host::AcquireNamedLock(name, error).Held());
}

#endif

}  // namespace
