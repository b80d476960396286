#include "host/IniFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/Exception.h"
#include "host/SysUtils.h"
#include "host/UniqueFd.h"

namespace host {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

// A name or value that its line gives back as it is.
bool FitsOnItsLine(const std::string& s) {
  if (s.find_first_of("\r\n") != std::string::npos) return false;
  return s.empty() || (!Blank(s.front()) && !Blank(s.back()));
}

bool FitsAsKey(const std::string& s) {
  return !s.empty() && FitsOnItsLine(s) && s.find('=') == std::string::npos && s[0] != '[' &&
         s[0] != ';' && s[0] != '#';
}

namespace fs = std::filesystem;

int ErrnoOr(int fallback) {
  return errno != 0 ? errno : fallback;
}

[[noreturn]] void Fail(const char* what, const std::string& fileName, int error) {
  throw EInOutError(
      std::string(what) + " \"" + fileName + "\": " + std::generic_category().message(error),
      error);
}

// The C runtime's descriptor calls, which both systems have under different names.
#ifdef _WIN32
constexpr int kCreateNew = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kTruncate = _O_WRONLY | _O_CREAT | _O_TRUNC;
int OpenDescriptor(const fs::path& path, int flags) {
  return _wopen(path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
int CloseDescriptor(int fd) {
  return _close(fd);
}
long WriteDescriptor(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}
int SyncDescriptor(int fd) {
  return _commit(fd);
}
long ProcessId() {
  return _getpid();
}
#else
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kTruncate = O_WRONLY | O_CREAT | O_TRUNC;
int OpenDescriptor(const fs::path& path, int flags) {
  // 0666: the process's umask decides, as for any file it creates.
  return open(path.c_str(), flags | O_CLOEXEC, 0666);
}
int CloseDescriptor(int fd) {
  return close(fd);
}
long WriteDescriptor(int fd, const char* data, std::size_t size) {
  return write(fd, data, size);
}
int SyncDescriptor(int fd) {
  return fsync(fd);
}
long ProcessId() {
  return getpid();
}
#endif

// Writes all of `text`, then closes: 0, or the errno value of what failed. A full disk may show
// only at the close, so that counts too.
int WriteAllAndClose(UniqueFd& file, const std::string& text, bool sync) {
  for (std::size_t done = 0; done < text.size();) {
    errno = 0;
    const long n = WriteDescriptor(file.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ErrnoOr(EIO);
    done += static_cast<std::size_t>(n);
  }
  errno = 0;
  if (sync && SyncDescriptor(file.Get()) != 0) return ErrnoOr(EIO);
  errno = 0;
  return CloseDescriptor(file.Release()) == 0 ? 0 : ErrnoOr(EIO);
}

// Truncates and writes: what is left of the old text when this fails half-way is lost.
void WriteInPlace(const fs::path& path, const std::string& fileName, const std::string& text) {
  errno = 0;
  UniqueFd file(OpenDescriptor(path, kTruncate));
  if (!file.Valid()) Fail("Cannot create file", fileName, ErrnoOr(EACCES));
  if (const int error = WriteAllAndClose(file, text, false))
    Fail("Cannot write file", fileName, error);
}

// A link stays a link: the file it leads to is the one replaced.
fs::path FileToReplace(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  fs::path resolved = fs::canonical(path, ec);
  return ec ? path : resolved;
}

// The new text's file beside the one it is to replace, in the same folder so that putting it in
// place is one step of the file system. Removed again unless it took the other's place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& beside) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = beside;
      path_ += "." + std::to_string(ProcessId()) + "-" + std::to_string(attempt) + ".tmp";
      errno = 0;
      file_ = UniqueFd(OpenDescriptor(path_, kCreateNew));
      if (file_.Valid()) return;
      error_ = ErrnoOr(EACCES);
      if (error_ != EEXIST) break;
    }
    path_.clear();
  }
  ~TemporaryFile() {
    file_.Reset();  // Windows removes no open file
    std::error_code ec;
    if (!path_.empty()) fs::remove(path_, ec);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Created() const { return file_.Valid(); }
  int Error() const { return error_; }
  int Fd() const { return file_.Get(); }
  int WriteAndClose(const std::string& text) { return WriteAllAndClose(file_, text, true); }

  // Puts this file in the target's place: true when done, false when the system does not let
  // the target be replaced; any other failure raises.
  bool MoveOver(const fs::path& target, const std::string& fileName) {
#ifdef _WIN32
    // Refuses a read-only target by itself.
    if (MoveFileExW(path_.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      path_.clear();
      return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) return false;
    throw EInOutError("Cannot write file \"" + fileName + "\": " + SysErrorMessage(error), EIO);
#else
    errno = 0;
    if (rename(path_.c_str(), target.c_str()) == 0) {
      path_.clear();
      return true;
    }
    const int error = ErrnoOr(EIO);
    if (error == EACCES || error == EPERM) return false;
    Fail("Cannot write file", fileName, error);
#endif
  }

 private:
  fs::path path_;
  UniqueFd file_;
  int error_ = 0;
};

}  // namespace

TMemIniFile::TMemIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::error_code ec;
  auto path = FsPath(fileName_);
  if (!std::filesystem::exists(path, ec)) return;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("Cannot open file", fileName_, ErrnoOr(EACCES));
  std::ostringstream text;
  text << in.rdbuf();
  Parse(text.str());
}

TMemIniFile::TMemIniFile(std::string fileName, const std::string& text)
    : fileName_(std::move(fileName)) {
  Parse(text);
}

void TMemIniFile::Parse(const std::string& text) {
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  Section* current = nullptr;
  while (std::getline(in, raw)) {
    ++lineNo;
    if (lineNo == 1 && raw.rfind(kByteOrderMark, 0) == 0) {
      raw.erase(0, 3);
      byteOrderMark_ = true;
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = Trim(raw);
    auto& entries = current != nullptr ? current->entries : preamble_;
    if (line.empty() || line[0] == ';' || line[0] == '#') {
      entries.push_back({"", raw, lineNo});
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') {
        malformed_.push_back({lineNo, raw});
        entries.push_back({"", raw, lineNo});
        continue;
      }
      std::string name = Trim(line.substr(1, line.size() - 2));
      firstOfSection_.emplace(UpperCase(name), sections_.size());
      sections_.push_back({name, {}, lineNo, {}});
      current = &sections_.back();
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || Trim(line.substr(0, eq)).empty()) {
      malformed_.push_back({lineNo, raw});
      entries.push_back({"", raw, lineNo});
      continue;
    }
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    if (current == nullptr) {
      // A pair before any section has nowhere to be read from; keep it, but say so.
      malformed_.push_back({lineNo, raw});
      preamble_.push_back({"", raw, lineNo});
      continue;
    }
    current->firstOfKey.emplace(UpperCase(key), current->entries.size());
    current->entries.push_back({key, value, lineNo});
  }
}

const TMemIniFile::Section* TMemIniFile::FindSection(const std::string& name) const {
  const auto at = firstOfSection_.find(UpperCase(name));
  return at != firstOfSection_.end() ? &sections_[at->second] : nullptr;
}

TMemIniFile::Section& TMemIniFile::SectionFor(const std::string& name) {
  const auto [at, added] = firstOfSection_.emplace(UpperCase(name), sections_.size());
  if (added) sections_.push_back({name, {}, 0, {}});
  return sections_[at->second];
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(const std::string& section,
                                                 const std::string& ident) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  const auto at = s->firstOfKey.find(UpperCase(ident));
  return at != s->firstOfKey.end() ? &s->entries[at->second] : nullptr;
}

bool TMemIniFile::SectionExists(const std::string& section) const {
  return FindSection(section) != nullptr;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  return FindEntry(section, ident) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> TMemIniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->entries) {
      if (!e.key.empty()) keys.push_back(e.key);
    }
  }
  return keys;
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& fallback) const {
  const Entry* e = FindEntry(section, ident);
  return e != nullptr ? e->value : fallback;
}

long long TMemIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                   long long fallback) const {
  const Entry* e = FindEntry(section, ident);
  return e != nullptr ? StrToIntDef(e->value, fallback) : fallback;
}

bool TMemIniFile::ReadBool(const std::string& section, const std::string& ident,
                           bool fallback) const {
  return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

bool TMemIniFile::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value) {
  // A value with a line break would add lines of its own: keys, sections, that nobody wrote.
  if (!FitsOnItsLine(section) || !FitsAsKey(ident) || !FitsOnItsLine(value)) return false;
  Section& s = SectionFor(section);
  const std::string upper = UpperCase(ident);
  if (const auto found = s.firstOfKey.find(upper); found != s.firstOfKey.end()) {
    s.entries[found->second].value = value;
    return true;
  }
  // After the last pair, before the blank lines and comments that trail the section: no pair
  // moves, so the index stays right.
  auto at = s.entries.end();
  while (at != s.entries.begin() && std::prev(at)->key.empty()) --at;
  s.firstOfKey.emplace(upper, static_cast<std::size_t>(at - s.entries.begin()));
  s.entries.insert(at, {ident, value, 0});
  return true;
}

bool TMemIniFile::WriteInteger(const std::string& section, const std::string& ident,
                               long long value) {
  return WriteString(section, ident, IntToStr(value));
}

bool TMemIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  return WriteString(section, ident, value ? "1" : "0");
}

std::string TMemIniFile::Text() const {
  std::ostringstream out;
  if (byteOrderMark_) out << kByteOrderMark;
  auto put = [&out](const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
      if (e.key.empty()) {
        out << e.value << "\r\n";
      } else {
        out << e.key << '=' << e.value << "\r\n";
      }
    }
  };
  put(preamble_);
  for (const Section& s : sections_) {
    out << '[' << s.name << "]\r\n";
    put(s.entries);
  }
  return out.str();
}

void TMemIniFile::UpdateFile() const {
  const std::string text = Text();
  const fs::path target = FileToReplace(FsPath(fileName_));
  std::error_code ec;
  const fs::file_status status = fs::status(target, ec);
  const bool exists = fs::exists(status);
  if (exists && !fs::is_regular_file(status)) {
    // A device or a pipe takes the text; putting a file in its place would be wrong.
    WriteInPlace(target, fileName_, text);
    return;
  }
#ifndef _WIN32
  // rename() would replace a read-only file as long as its folder may be written; writing it in
  // place would have been refused, so this is refused too.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    Fail("Cannot create file", fileName_, ErrnoOr(EACCES));
  }
#endif
  TemporaryFile temporary(target);
  if (!temporary.Created()) {
    // A folder that may not be written may still hold a file that may: then only in place.
    if (temporary.Error() == EACCES || temporary.Error() == EPERM) {
      WriteInPlace(target, fileName_, text);
      return;
    }
    Fail("Cannot create file", fileName_, temporary.Error());
  }
#ifndef _WIN32
  if (exists &&
      fchmod(temporary.Fd(), static_cast<mode_t>(status.permissions() & fs::perms::mask)) != 0) {
    Fail("Cannot write file", fileName_, ErrnoOr(EIO));
  }
#endif
  if (const int error = temporary.WriteAndClose(text)) Fail("Cannot write file", fileName_, error);
  if (!temporary.MoveOver(target, fileName_)) {
    // The folder keeps the file from being replaced (a sticky folder, a program holding the file
    // open on Windows); the file itself may still take the text, or refuse it as it should.
    WriteInPlace(target, fileName_, text);
  }
}

int TMemIniFile::LineOfSection(const std::string& section) const {
  const Section* s = FindSection(section);
  return s != nullptr ? s->line : 0;
}

int TMemIniFile::LineOfValue(const std::string& section, const std::string& ident) const {
  const Entry* e = FindEntry(section, ident);
  return e != nullptr ? e->line : 0;
}

}  // namespace host
