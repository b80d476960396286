// Pending overlapped reads over hidraw: a read is served by the thread that issued it, while it
// waits (SleepEx, or GetOverlappedResult told to wait), by polling the descriptors of its reads
// and its wake descriptor. Other threads end reads (CloseHandle) by queueing the routine and
// waking the thread.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

#include "platform/hidraw/Errors.h"
#include "platform/hidraw/State.h"

namespace hidraw::detail {
namespace {

struct Watched {
  OVERLAPPED* overlapped;
  std::shared_ptr<File> file;  // keeps the descriptor open while it is polled
};

struct Outcome {
  bool ended = false;
  DWORD error = ERROR_SUCCESS;
  DWORD bytes = 0;
};

Outcome Gone(File& file) {
  file.gone = true;
  return {true, ERROR_DEVICE_NOT_CONNECTED, 0};
}

// Takes one input report for `read` if its device has one waiting.
Outcome Attempt(const PendingRead& read, short revents) {
  File& file = *read.file;
  if ((revents & POLLNVAL) != 0) return {true, ERROR_INVALID_HANDLE, 0};
  const bool hangup = (revents & (POLLERR | POLLHUP)) != 0;
  if ((revents & POLLIN) == 0) return hangup ? Gone(file) : Outcome{};

  // Windows puts the report ID in front of every report, 0 for a device that numbers none;
  // hidraw passes unnumbered reports without it.
  const DescriptorCaps* caps = CapsLocked(file);
  const std::size_t offset = caps != nullptr && !caps->usesReportIds ? 1 : 0;
  const long n = file.fd.Io().Read(file.fd.Get(), read.buffer + offset, read.count - offset);
  if (n == -EAGAIN || n == -EINTR) return hangup ? Gone(file) : Outcome{};
  // A node whose device has gone reads EIO.
  if (n == -EIO) return Gone(file);
  if (n < 0) {
    const DWORD error = ErrorOfErrno(static_cast<int>(-n));
    return error == ERROR_DEVICE_NOT_CONNECTED ? Gone(file) : Outcome{true, error, 0};
  }
  if (n == 0) return {true, ERROR_GEN_FAILURE, 0};
  if (offset == 1) read.buffer[0] = 0;
  DWORD total = static_cast<DWORD>(n) + static_cast<DWORD>(offset);
  // Windows hands over every input report at the interface's input report length, so a shorter
  // numbered report arrives zero-padded.
  if (caps != nullptr) {
    const DWORD full = std::min<DWORD>(read.count, caps->inputReportByteLength);
    if (total < full) {
      std::memset(read.buffer + total, 0, full - total);
      total = full;
    }
  }
  return {true, ERROR_SUCCESS, total};
}

int PollTimeout(DWORD milliseconds) {
  return milliseconds == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX));
}

}  // namespace

void ServiceOwnReads(DWORD milliseconds) {
  const std::uint64_t me = CurrentThreadKey();
  const int waker = CurrentThreadWaker();
  std::vector<Watched> watched;
  {
    State& s = TheState();
    Lock lock(s.mutex);
    for (const PendingRead& read : s.reads) {
      if (read.thread == me) watched.push_back({read.overlapped, read.file});
    }
  }
  std::vector<pollfd> fds;
  fds.push_back({waker, POLLIN, 0});  // poll skips it when it is -1
  for (const Watched& w : watched) fds.push_back({w.file->fd.Get(), POLLIN, 0});
  const int timeout = PollTimeout(milliseconds);
  int rc = 0;
  if (!watched.empty()) {
    rc = watched.front().file->fd.Io().Poll(fds.data(), fds.size(), timeout);
  } else {
    rc = ::poll(fds.data(), 1, timeout);
    if (rc < 0) rc = -errno;
  }
  Clear(waker);
  if (rc == -EINTR || rc == 0) return;
  if (rc < 0) {
    // poll itself failed (out of memory): wait out a bounded slice rather than come straight
    // back, so a caller that loops on this never spins.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::min(timeout < 0 ? 100 : timeout, 100)));
    return;
  }

  State& s = TheState();
  Lock lock(s.mutex);
  for (std::size_t i = 0; i < watched.size(); ++i) {
    const short revents = fds[i + 1].revents;
    if (revents == 0) continue;
    auto it = std::find_if(s.reads.begin(), s.reads.end(), [&](const PendingRead& read) {
      return read.thread == me && read.overlapped == watched[i].overlapped &&
             read.file == watched[i].file;
    });
    if (it == s.reads.end()) continue;  // ended meanwhile (closed, cancelled)
    const Outcome outcome = Attempt(*it, revents);
    if (!outcome.ended) continue;
    PendingRead read = std::move(*it);
    s.reads.erase(it);
    CompleteReadLocked(s, read, outcome.error, outcome.bytes);
  }
}

}  // namespace hidraw::detail
