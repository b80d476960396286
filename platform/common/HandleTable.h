// The handles the services hand out (files, threads, device-info sets), each with the backend's
// record of it, and the file-handle calls both backends serve alike. Values count up and are never
// given again: a handle kept past its close is refused, never taken for a newer one, so a caller
// that keeps one fails here at once. Not locked: the backend's lock guards the table with the
// rest of its state.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "hid/WinTypes.h"
#include "platform/common/Completion.h"
#include "platform/common/LastError.h"

namespace platform::common {

template <class Record, class Handle = HANDLE>
class HandleTable {
 public:
  // Values go up by `step` from past `base`, so each backend's and each kind's are told apart.
  explicit HandleTable(std::uintptr_t base, std::uintptr_t step = 4) : last_(base), step_(step) {}

  Handle Add(Record record) {
    last_ += step_;
    const Handle handle = reinterpret_cast<Handle>(last_);
    records_.emplace(handle, std::move(record));
    return handle;
  }
  Record* Find(Handle handle) {
    auto it = records_.find(handle);
    return it != records_.end() ? &it->second : nullptr;
  }
  const Record* Find(Handle handle) const {
    auto it = records_.find(handle);
    return it != records_.end() ? &it->second : nullptr;
  }
  bool Remove(Handle handle) { return records_.erase(handle) != 0; }

  std::size_t Count() const { return records_.size(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }
  void Clear() { records_.clear(); }  // the count goes on: an old handle stays unknown

 private:
  std::map<Handle, Record> records_;
  std::uintptr_t last_;
  std::uintptr_t step_;
};

// CloseHandle, CancelIo and CancelIoEx over a backend's state, with its lock held: the state's
// `threads` (ThreadHandles) and `handles` (its open files), and its EndReadsLocked, which ends the
// reads a match selects and queues their routines.

template <class State>
BOOL CloseHandleLocked(State& s, HANDLE handle) {
  if (s.threads.Close(handle)) return TRUE;
  if (s.handles.Find(handle) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  EndReadsLocked(s, ReadsOf{handle}, ERROR_OPERATION_ABORTED);
  s.handles.Remove(handle);
  return TRUE;
}

// `match` selects the reads the call ends: ThreadReadsOf for CancelIo, RequestedReadsOf for
// CancelIoEx.
template <class State, class Match>
BOOL CancelReadsLocked(State& s, HANDLE handle, Match match) {
  if (s.handles.Find(handle) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  EndReadsLocked(s, match, ERROR_OPERATION_ABORTED);
  return TRUE;
}

}  // namespace platform::common
