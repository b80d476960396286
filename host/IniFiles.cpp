#include "host/IniFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "host/Exception.h"
#include "host/SafeFiles.h"
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

[[noreturn]] void Fail(const char* what, const std::string& fileName,
                       const std::error_code& error) {
  // EFBIG for a file too large to be read: the one failure a caller tells apart.
  const bool tooLarge = error == FileRefusal::kTooLarge;
  throw EInOutError(std::string(what) + " \"" + fileName + "\": " + FileErrorText(error) +
                        (tooLarge ? " (over " + std::to_string(kMaxFileSize) + " bytes)" : ""),
                    tooLarge ? EFBIG : error.value());
}

std::error_code LastError() {
  return {errno != 0 ? errno : EIO, std::generic_category()};
}

// The C runtime's descriptor calls, which both systems have under different names.
#ifdef _WIN32
int OpenToTruncate(const fs::path& path) {
  return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}
long WriteDescriptor(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}
int CloseDescriptor(int fd) {
  return _close(fd);
}
#else
int OpenToTruncate(const fs::path& path) {
  // 0666: the process's umask decides, as for any file it creates.
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}
long WriteDescriptor(int fd, const char* data, std::size_t size) {
  return write(fd, data, size);
}
int CloseDescriptor(int fd) {
  return close(fd);
}
#endif

// A device or a pipe that the name leads to takes the text as it is, truncated first.
void WriteToDevice(const fs::path& path, const std::string& fileName, const std::string& text) {
  errno = 0;
  UniqueFd file(OpenToTruncate(path));
  if (!file.Valid()) Fail("Cannot create file", fileName, LastError());
  for (std::size_t done = 0; done < text.size();) {
    errno = 0;
    const long n = WriteDescriptor(file.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("Cannot write file", fileName, LastError());
    done += static_cast<std::size_t>(n);
  }
  errno = 0;
  if (CloseDescriptor(file.Release()) != 0) Fail("Cannot write file", fileName, LastError());
}

// A link stays a link: the file it leads to is the one replaced.
fs::path FileToReplace(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  fs::path resolved = fs::canonical(path, ec);
  return ec ? path : resolved;
}

}  // namespace

TMemIniFile::TMemIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::string text;
  const std::error_code error = ReadSmallFile(FsPath(fileName_), kMaxFileSize, text);
  if (error == std::errc::no_such_file_or_directory) return;
  if (error) Fail("Cannot open file", fileName_, error);
  Parse(text);
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
    WriteToDevice(target, fileName_, text);
    return;
  }
#ifndef _WIN32
  // rename() would replace a read-only file as long as its folder may be written; writing it in
  // place would have been refused, so this is refused too.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    Fail("Cannot create file", fileName_, LastError());
  }
#endif
  // A replaced file keeps its permission bits; a new one gets what the umask leaves.
  std::optional<unsigned> mode;
  if (exists) mode = static_cast<unsigned>(status.permissions() & fs::perms::mask);
  bool writing = false;
  if (const std::error_code error = ReplaceFile(target, text, mode, &writing)) {
    Fail(writing ? "Cannot write file" : "Cannot create file", fileName_, error);
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
