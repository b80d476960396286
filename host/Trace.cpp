#include "host/Trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <mutex>
#include <system_error>
#include <typeinfo>
#include <utility>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#endif
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "host/Process.h"
#include "host/SysUtils.h"

namespace host {
namespace {

// The one piece of process-wide state the trace needs: which trace is current. Guarded by one
// lock that also keeps lines whole when several threads write; the flag lets every trace point
// skip the lock while nothing is traced.
struct Current {
  std::mutex mutex;
  Trace* trace = nullptr;
  std::atomic<bool> on{false};
};

Current& TheCurrent() {
  static Current current;
  return current;
}

std::int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// Keeps one event on one line, whatever the text holds.
void AppendOneLine(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte < 0x20 || byte == 0x7F) {
      AppendHex(out, byte);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // U+0080 to U+009F: controls too (a terminal may take U+009B for an escape sequence).
      AppendHex(out, byte);
      AppendHex(out, next);
      ++i;
    } else {
      out += text[i];
    }
  }
}

std::string LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

long ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

std::string TypeName(const std::type_info& type) {
#if __has_include(<cxxabi.h>)
  int status = 0;
  char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  if (status == 0 && readable != nullptr) {
    std::string name(readable);
    std::free(readable);  // NOLINT(cppcoreguidelines-no-malloc): the demangler's own allocation
    return name;
  }
#endif
  return type.name();
}

}  // namespace

Trace::Trace(const std::string& path, std::string_view program, Clock clock)
    : clock_(clock != nullptr ? clock : &SteadyMicroseconds) {
  if (path.empty()) return;
  // Only a file of this user's: a trace another account made, or a link it planted, could turn a
  // program that runs with more rights than that account into its writer.
  if (const std::error_code error = file_.Open(FsPath(path), AppendingFile::Owner::kThisUser)) {
    error_ = "cannot open \"" + path + "\": " + FileErrorText(error);
    return;
  }
  start_ = clock_();
  std::string header = "== ";
  header.append(program);
  header += ", process " + std::to_string(ProcessId()) + ", " + LocalTimeNow() + " local time\n";
  file_.Append(header);
  MakeCurrent();
}

Trace::Trace(Sink sink, Clock clock)
    : sink_(std::move(sink)), clock_(clock != nullptr ? clock : &SteadyMicroseconds) {
  if (!sink_) return;
  start_ = clock_();
  MakeCurrent();
}

void Trace::MakeCurrent() {
  Current& current = TheCurrent();
  std::lock_guard<std::mutex> lock(current.mutex);
  previous_ = current.trace;
  current.trace = this;
  current.on.store(true);
}

Trace::~Trace() {
  if (!IsOpen()) return;
  Current& current = TheCurrent();
  std::lock_guard<std::mutex> lock(current.mutex);
  if (current.trace == this) {
    current.trace = previous_;
  } else {
    // Ended out of order: unlink it from the chain of older traces.
    for (Trace* t = current.trace; t != nullptr; t = t->previous_) {
      if (t->previous_ == this) {
        t->previous_ = previous_;
        break;
      }
    }
  }
  current.on.store(current.trace != nullptr);
}

void Trace::Write(std::string_view kind, std::string_view text) noexcept {
  try {
    const double ms = static_cast<double>(clock_() - start_) / 1000.0;
    if (sink_) {
      sink_(ms, kind, text);
      return;
    }
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%10.3f ", ms);
    std::string line = stamp;
    AppendOneLine(line, kind);
    line += ": ";
    AppendOneLine(line, text);
    line += '\n';
    // One write each, unbuffered: the line must be in the file if the program dies a moment later.
    file_.Append(line);
  } catch (...) {
    // Out of memory while composing (or a sink that raised): the trace loses this line, the
    // program goes on.
  }
}

std::string TraceFileFromEnvironment() {
  return EnvironmentValue(kTraceVariable);
}

bool Tracing() noexcept {
  return TheCurrent().on.load(std::memory_order_relaxed);
}

void TraceLine(std::string_view kind, std::string_view text) noexcept {
  Current& current = TheCurrent();
  if (!current.on.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(current.mutex);
  if (current.trace != nullptr) current.trace->Write(kind, text);
}

void TraceDroppedException(std::string_view droppedBy) noexcept {
  if (!Tracing() || !std::current_exception()) return;
  try {
    std::string text(droppedBy);
    text += " dropped ";
    try {
      throw;
    } catch (const std::exception& e) {
      text += TypeName(typeid(e)) + ": " + e.what();
    } catch (...) {
      text += "an exception of an unknown kind";
    }
    TraceLine("exception", text);
  } catch (...) {
    // Nothing to record, or no memory to record it with.
  }
}

std::string OneLineText(std::string_view text) {
  std::string out;
  AppendOneLine(out, text);
  return out;
}

std::string HexBytes(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(size * 3);
  for (std::size_t i = 0; i < size; ++i) {
    if (i != 0) text += ' ';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace host
