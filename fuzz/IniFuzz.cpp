// Feeds arbitrary bytes to the ini reader and writer, and to the scenario reader over the same
// text. Besides the sanitizers' own checks, a broken invariant traps and counts as a finding like
// a crash:
//  - the text written back parses to the same sections, keys, values, line numbers and
//    malformed lines, and writing that back gives the same text again;
//  - blank, comment and malformed lines come back byte for byte on their own line;
//  - writes taken from the input read back as written after a round trip, or are refused and
//    change nothing; every value not written to stays as it was;
//  - a value that is a number reads as that number, or as the default when out of range;
//  - the scenario reader reports one problem a line, "scenario <file>:<line>: ...", with a line
//    inside the text, in the order of the file.
// The writes: the input split at NUL bytes gives fields; after the first, each three fields are
// a section, a key and a value (64 writes at most). A value starting with 'i' writes the integer
// its next bytes make, one starting with 'b' writes a boolean, any other is written as a string.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/IniFiles.h"
#include "host/SysUtils.h"
#include "platform/virtual/Scenario.h"

namespace {

constexpr const char* kFileName = "fuzz.ini";
// No value can hold a line break: reads with this default tell a missing key.
constexpr const char* kMissing = "\n";

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

struct Pair {
  std::string key;
  std::string value;
  int line;
};

struct SectionView {
  std::string name;
  int line;
  std::vector<Pair> pairs;
};

// Everything the reading interface shows, as a reader of the file would look it up.
std::vector<SectionView> View(const host::TMemIniFile& ini) {
  std::vector<SectionView> view;
  for (const std::string& name : ini.ReadSections()) {
    SectionView section{name, ini.LineOfSection(name), {}};
    for (const std::string& key : ini.ReadSection(name)) {
      section.pairs.push_back(
          {key, ini.ReadString(name, key, kMissing), ini.LineOfValue(name, key)});
    }
    view.push_back(std::move(section));
  }
  return view;
}

bool SameContent(const std::vector<SectionView>& a, const std::vector<SectionView>& b,
                 bool withLines) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].pairs.size() != b[i].pairs.size()) return false;
    if (withLines && a[i].line != b[i].line) return false;
    for (std::size_t k = 0; k < a[i].pairs.size(); ++k) {
      const Pair& p = a[i].pairs[k];
      const Pair& q = b[i].pairs[k];
      if (p.key != q.key || p.value != q.value || (withLines && p.line != q.line)) return false;
    }
  }
  return true;
}

bool SameMalformed(const host::TMemIniFile& a, const host::TMemIniFile& b, bool withLines) {
  const auto& x = a.MalformedLines();
  const auto& y = b.MalformedLines();
  return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                    [withLines](const auto& p, const auto& q) {
                      return p.text == q.text && (!withLines || p.line == q.line);
                    });
}

// The lines as the reader sees them: split at LF, one CR before it dropped, the byte-order mark
// not part of the first line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (lines.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

// Blank and comment lines: what is left after the blanks the reader trims is empty or starts
// with ';' or '#'.
bool BlankOrComment(const std::string& line) {
  std::size_t b = 0;
  std::size_t e = line.size();
  while (b < e && (line[b] == ' ' || line[b] == '\t')) ++b;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t' || line[e - 1] == '\r')) --e;
  return b == e || line[b] == ';' || line[b] == '#';
}

void CheckKeptVerbatim(const host::TMemIniFile& ini, const std::string& text,
                       const std::string& written) {
  const std::vector<std::string> before = Lines(text);
  const std::vector<std::string> after = Lines(written);
  Require(before.size() == after.size());
  std::set<int> malformed;
  for (const auto& bad : ini.MalformedLines()) malformed.insert(bad.line);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (BlankOrComment(before[i]) || malformed.count(static_cast<int>(i) + 1) != 0) {
      Require(before[i] == after[i]);
    }
  }
}

// What a value is as a number by the documented rule (optional sign, decimal or "$"/"0x"
// hexadecimal, at most the largest long long either way); nothing when it is no number.
bool IsNumber(const std::string& text, long long& number, bool& inRange) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  int base = 10;
  if (at < text.size() && text[at] == '$') {
    base = 16;
    ++at;
  } else if (at + 1 < text.size() && text[at] == '0' &&
             (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at >= text.size()) return false;
  std::uint64_t magnitude = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + at, end, magnitude, base);
  if (stop != end) return false;
  if (text[at] == '-' || text[at] == '+') return false;  // from_chars takes no second sign
  inRange = error == std::errc() &&
            magnitude <= static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
  if (inRange) {
    number = static_cast<long long>(magnitude);
    if (negative) number = -number;
  }
  return true;
}

void CheckNumbers(const host::TMemIniFile& ini, const std::vector<SectionView>& view) {
  constexpr long long kDefault = -77;
  for (const SectionView& section : view) {
    for (const Pair& p : section.pairs) {
      long long number = 0;
      bool inRange = false;
      if (!IsNumber(p.value, number, inRange)) continue;
      Require(ini.ReadInteger(section.name, p.key, kDefault) == (inRange ? number : kDefault));
      Require(ini.ReadBool(section.name, p.key, false) == (inRange && number != 0));
    }
  }
}

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t nul = text.find('\0', from);
    fields.push_back(text.substr(from, nul - from));
    if (nul == std::string::npos) return fields;
    from = nul + 1;
  }
}

bool Plain(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

long long Fold(const std::string& bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) {
    bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
  }
  return static_cast<long long>(bits);
}

struct Written {
  std::string section;
  std::string key;
  std::string value;
};

void CheckWrites(host::TMemIniFile& ini, const std::string& input) {
  const std::vector<SectionView> before = View(ini);
  const std::vector<std::string> fields = Fields(input);
  std::map<std::pair<std::string, std::string>, Written> written;  // by upper-case names
  // A few dozen writes tell as much as thousands would, and keep a run in proportion to its
  // input: each write is checked against the whole text.
  constexpr std::size_t kMaxWrites = 64;
  for (std::size_t f = 1; f + 2 < fields.size() && f / 3 < kMaxWrites; f += 3) {
    const std::string& section = fields[f];
    const std::string& key = fields[f + 1];
    const std::string& request = fields[f + 2];
    const std::string textBefore = ini.Text();
    bool accepted = false;
    std::string value;
    if (!request.empty() && request[0] == 'i') {
      const long long number = Fold(request.substr(1));
      accepted = ini.WriteInteger(section, key, number);
      value = host::IntToStr(number);
      if (accepted) Require(ini.ReadInteger(section, key, ~number) == number);
    } else if (!request.empty() && request[0] == 'b') {
      const bool flag = request.size() > 1 && (request[1] & 1) != 0;
      accepted = ini.WriteBool(section, key, flag);
      value = flag ? "1" : "0";
      if (accepted) Require(ini.ReadBool(section, key, !flag) == flag);
    } else {
      accepted = ini.WriteString(section, key, request);
      value = request;
    }
    if (!accepted) {
      // Plain names and values always fit; a refused write changes nothing.
      Require(!(Plain(section) && Plain(key) && !key.empty() && Plain(value)));
      Require(ini.Text() == textBefore);
      continue;
    }
    Require(ini.ReadString(section, key, kMissing) == value);
    written[{host::UpperCase(section), host::UpperCase(key)}] = {section, key, value};
  }

  const std::string text = ini.Text();
  const host::TMemIniFile again(kFileName, text);
  Require(SameContent(View(ini), View(again), false));
  Require(SameMalformed(ini, again, false));
  Require(again.Text() == text);
  for (const auto& [names, w] : written) {
    Require(again.ReadString(w.section, w.key, kMissing) == w.value);
  }
  const std::vector<std::string> sections = again.ReadSections();
  Require(sections.size() >= before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    Require(sections[i] == before[i].name);
    for (const Pair& p : before[i].pairs) {
      if (written.count({host::UpperCase(before[i].name), host::UpperCase(p.key)}) != 0) continue;
      Require(again.ReadString(before[i].name, p.key, kMissing) == p.value);
    }
  }
}

std::size_t LineCount(const std::string& text) {
  const auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  return breaks + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

void CheckScenario(const std::string& text) {
  std::ostringstream errors;
  const virtualhid::ParsedScenario parsed = virtualhid::ParseScenarioText(kFileName, text, errors);
  const std::string report = errors.str();
  Require(report.empty() || report.back() == '\n');
  const std::string prefix = std::string("scenario ") + kFileName + ":";
  const std::size_t lines = LineCount(text);
  int count = 0;
  std::size_t previous = 0;
  std::istringstream in(report);
  for (std::string message; std::getline(in, message);) {
    ++count;
    Require(message.rfind(prefix, 0) == 0);
    std::size_t line = 0;
    const char* digits = message.data() + prefix.size();
    const char* end = message.data() + message.size();
    const auto [stop, error] = std::from_chars(digits, end, line);
    Require(error == std::errc() && stop != digits);
    Require(line >= 1 && line <= lines && line >= previous);
    previous = line;
    Require(end - stop > 2 && stop[0] == ':' && stop[1] == ' ');
  }
  Require(count == parsed.problems);

  // One device for each section name, however often the name is used.
  const host::TMemIniFile ini(kFileName, text);
  std::set<std::string> names;
  for (const std::string& name : ini.ReadSections()) names.insert(host::UpperCase(name));
  Require(parsed.devices.size() == names.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  host::TMemIniFile ini(kFileName, text);
  const std::vector<SectionView> view = View(ini);
  const std::string written = ini.Text();
  const host::TMemIniFile again(kFileName, written);
  Require(SameContent(view, View(again), true));
  Require(SameMalformed(ini, again, true));
  Require(again.Text() == written);
  CheckKeptVerbatim(ini, text, written);
  CheckNumbers(ini, view);

  CheckWrites(ini, text);
  CheckScenario(text);
  return 0;
}
