#include <algorithm>
#include <cstdint>

#include "host/Messages.h"

namespace host {
namespace {
// Per thread: only the thread that retrieves messages brackets its retrievals, and a modal loop
// of that thread is the same thread.
thread_local std::int64_t leftRetrievalAt = -1;  // -1: not yet retrieved
thread_local std::int64_t longestGap = 0;
thread_local bool retrieving = false;
}  // namespace

void EnteringMessageRetrieval() {
  if (leftRetrievalAt >= 0) longestGap = std::max(longestGap, TickCountMs() - leftRetrievalAt);
  retrieving = true;
}

void LeavingMessageRetrieval() {
  leftRetrievalAt = TickCountMs();
  retrieving = false;
}

std::int64_t TakeLongestRetrievalGap() {
  EnteringMessageRetrieval();  // the stretch in progress counts too
  const std::int64_t gap = longestGap;
  longestGap = 0;
  LeavingMessageRetrieval();
  return gap;
}

MessageHandling::MessageHandling() : insideRetrieval_(retrieving) {
  if (insideRetrieval_) LeavingMessageRetrieval();
}

MessageHandling::~MessageHandling() {
  if (insideRetrieval_) EnteringMessageRetrieval();
}

}  // namespace host
