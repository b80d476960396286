// TThread: a thread object created suspended, started by Resume, stopped cooperatively by
// Terminate, with Synchronize to run code on the GUI thread.
#pragma once

#include <atomic>
#include <exception>
#include <thread>

#include "host/Component.h"
#include "host/Event.h"

namespace host {

class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended);
  // Asks the thread to end and waits for it.
  ~TThread() override;

  void Resume();
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  // Waits until Execute has returned. On the GUI thread it keeps serving Synchronize calls
  // meanwhile, so a thread blocked in Synchronize never deadlocks the wait.
  void WaitFor();

  // Kept for its meaning to callers; this class never frees itself.
  bool FreeOnTerminate = false;

 protected:
  virtual void Execute() = 0;
  // Runs `method` on the GUI thread and waits until it has returned. An exception it raises is
  // raised again here.
  void Synchronize(Event<void()> method);

 private:
  void ThreadMain();

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  bool createSuspended_;
};

// GUI thread: runs every pending Synchronize request; true when any ran.
bool CheckSynchronize();
// Whether a Synchronize request waits for the GUI thread.
bool SynchronizePending();
// Called whenever a Synchronize request is queued, to wake the GUI thread's message loop.
void SetSynchronizeWakeup(Event<void()> wakeup);
bool IsMainThread();

}  // namespace host
