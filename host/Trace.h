// The support trace. The programs show nothing and log nothing; when a till misbehaves in a shop,
// a support person sets TILL_TRACE to a file name and the programs append to that file what they
// saw: the services in use, devices arriving and leaving, each selection, read errors, every
// exception a handler swallowed, each drawer command and reply with its bytes, each attempt's
// outcome. Without TILL_TRACE nothing is written and a trace point costs one flag test.
//
// One line per event: the milliseconds since the trace began, the kind, a colon, the text
//      101.250 command: 00 57 4F 00 18
// Each run of a program first writes a header line beginning with "== ". Texts are kept on one
// line: control characters are written as \xNN (see OneLineText).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/SafeFiles.h"

namespace host {

// The environment variable that names the trace file.
inline constexpr const char* kTraceVariable = "TILL_TRACE";

// The trace of this process for as long as the object lives. Tracing is process-wide: the HID
// reader threads and the GUI thread write to the same file, each line whole. A newer trace
// takes over until it ends, then the older one is current again.
class Trace {
 public:
  // Microseconds on a clock of the caller's choice; by default a monotonic real-time clock.
  using Clock = std::int64_t (*)();

  // Receives each event instead of a file: the milliseconds since the trace began, the kind and
  // the text, both as given. It is called under the trace's lock, from whichever thread traced.
  using Sink =
      std::function<void(double milliseconds, std::string_view kind, std::string_view text)>;

  // Appends to `path` (created if missing, for this user alone). An empty path traces nothing;
  // so does a file that cannot be opened or is not this user's own regular file (a link, a pipe,
  // a device, another account's file), and Error() then says why.
  Trace(const std::string& path, std::string_view program, Clock clock = nullptr);
  // Hands every event to `sink` (a program that shows its own trace).
  explicit Trace(Sink sink, Clock clock = nullptr);
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  bool IsOpen() const { return file_.IsOpen() || sink_ != nullptr; }
  const std::string& Error() const { return error_; }

 private:
  friend void TraceLine(std::string_view kind, std::string_view text) noexcept;
  void Write(std::string_view kind, std::string_view text) noexcept;
  void MakeCurrent();

  AppendingFile file_;
  Sink sink_;
  std::string error_;
  Clock clock_;
  std::int64_t start_ = 0;
  Trace* previous_ = nullptr;
};

// The file TILL_TRACE names, or "" when it is not set.
std::string TraceFileFromEnvironment();

// Whether a trace is being written: test it before composing a costly text.
bool Tracing() noexcept;
void TraceLine(std::string_view kind, std::string_view text) noexcept;
// Called inside a catch block: records the exception being handled and what dropped it.
void TraceDroppedException(std::string_view droppedBy) noexcept;

// `text` with each byte of its control characters (C0, DEL, and C1 in UTF-8) written as \xNN: kept
// on one line, it can neither end that line nor start an escape sequence on a terminal.
std::string OneLineText(std::string_view text);

// "00 57 4F 00 18": the bytes in upper-case hexadecimal, one space apart.
std::string HexBytes(const void* data, std::size_t size);

}  // namespace host
