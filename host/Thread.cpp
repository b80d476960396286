#include "host/Thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "host/Trace.h"

namespace host {
namespace {

// The thread that ran the program's static initialisation is the GUI thread.
const std::thread::id gMainThread = std::this_thread::get_id();

struct SyncRequest {
  Event<void()> method;
  bool done = false;
  std::exception_ptr error;
};

// Pending Synchronize calls, and the one wait the GUI thread's WaitFor and the callers share.
struct SyncQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<SyncRequest*> pending;
  Event<void()> wakeup;
};

SyncQueue& Queue() {
  static SyncQueue queue;
  return queue;
}

}  // namespace

bool IsMainThread() {
  return std::this_thread::get_id() == gMainThread;
}

void SetSynchronizeWakeup(Event<void()> wakeup) {
  std::lock_guard<std::mutex> lock(Queue().mutex);
  Queue().wakeup = wakeup;
}

bool SynchronizePending() {
  std::lock_guard<std::mutex> lock(Queue().mutex);
  return !Queue().pending.empty();
}

bool CheckSynchronize() {
  if (!IsMainThread()) return false;
  SyncQueue& q = Queue();
  bool any = false;
  for (;;) {
    SyncRequest* request;
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      if (q.pending.empty()) break;
      request = q.pending.front();
      q.pending.pop_front();
    }
    any = true;
    try {
      request->method();
    } catch (...) {
      request->error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      request->done = true;
    }
    q.changed.notify_all();
  }
  return any;
}

TThread::TThread(bool createSuspended) : createSuspended_(createSuspended) {
  if (!createSuspended_) Resume();
}

TThread::~TThread() {
  if (started_) {
    Terminate();
    WaitFor();
  }
}

void TThread::Resume() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread(&TThread::ThreadMain, this);
}

void TThread::ThreadMain() {
  try {
    Execute();
  } catch (...) {
    // An exception leaving a thread body has nobody to go to; the thread just ends.
    TraceDroppedException("a thread's body");
  }
  {
    std::lock_guard<std::mutex> lock(Queue().mutex);
    finished_.store(true);
  }
  Queue().changed.notify_all();
}

void TThread::WaitFor() {
  if (!started_) return;
  if (IsMainThread()) {
    SyncQueue& q = Queue();
    for (;;) {
      CheckSynchronize();
      std::unique_lock<std::mutex> lock(q.mutex);
      q.changed.wait(lock, [&] { return finished_.load() || !q.pending.empty(); });
      if (finished_.load() && q.pending.empty()) break;
    }
  }
  if (thread_.joinable()) thread_.join();
}

void TThread::Synchronize(Event<void()> method) {
  if (IsMainThread()) {
    method();
    return;
  }
  SyncQueue& q = Queue();
  SyncRequest request;
  request.method = method;
  Event<void()> wakeup;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.pending.push_back(&request);
    wakeup = q.wakeup;
  }
  q.changed.notify_all();
  if (wakeup) wakeup();
  std::unique_lock<std::mutex> lock(q.mutex);
  q.changed.wait(lock, [&] { return request.done; });
  if (request.error) std::rethrow_exception(request.error);
}

}  // namespace host
