#include "platform/virtual/Scenario.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>

#include "host/IniFiles.h"
#include "host/SysUtils.h"
#include "platform/virtual/ScenarioFile.h"

namespace virtualhid {
namespace {

constexpr std::uint64_t kMaxReportLength = 4096;
constexpr std::uint64_t kMaxPolls = 1000000;
constexpr std::uint64_t kMaxMs = 0x7FFFFFFF;
constexpr std::size_t kMaxProductChars = 126;  // a USB string descriptor's limit

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

bool SameText(const std::string& a, const std::string& b) {
  return host::UpperCase(a) == host::UpperCase(b);
}

// Decimal or 0x-hexadecimal, no sign, no blanks; nothing on overflow.
std::optional<std::uint64_t> ParseNumber(const std::string& text) {
  int base = 10;
  std::size_t at = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    at = 2;
  }
  if (at >= text.size() || text.size() - at > 15) return std::nullopt;
  std::uint64_t value = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  return value;
}

template <class E>
struct Choice {
  const char* name;
  E value;
};

constexpr Choice<Access> kAccessChoices[] = {
    {"ReadWrite", Access::ReadWrite}, {"QueryOnly", Access::QueryOnly}, {"None", Access::None}};
constexpr Choice<bool> kYesNoChoices[] = {{"Yes", true}, {"No", false}};
constexpr Choice<Firmware> kFirmwareChoices[] = {
    {"Drawer", Firmware::Drawer},         {"Silent", Firmware::Silent},
    {"ErrorReply", Firmware::ErrorReply}, {"NoAck", Firmware::NoAck},
    {"WriteFails", Firmware::WriteFails}, {"None", Firmware::None}};

class ScenarioReader {
 public:
  ScenarioReader(std::string path, std::ostream& errors)
      : path_(std::move(path)), errors_(errors) {}

  ParsedScenario Read() {
    // The name is looked up once: a program started on a scenario reads it before its first
    // wait, and every lookup there delays the first attempt.
    const detail::ScenarioFileText file = detail::ReadScenarioFile(path_);
    switch (file.outcome) {
      case detail::ScenarioFileText::Outcome::NotFound:
        Problem(0, "", "file not found");
        break;
      case detail::ScenarioFileText::Outcome::NotAFile:
        Problem(0, "", "not a file");
        break;
      case detail::ScenarioFileText::Outcome::Unreadable:
        Problem(0, "", "cannot be read: " + file.reason);
        break;
      case detail::ScenarioFileText::Outcome::Read:
        return ReadText(file.text);
    }
    return Finish({});
  }

  ParsedScenario ReadText(const std::string& text) {
    std::vector<ScenarioDevice> devices;
    ReadIni(host::TMemIniFile(path_, text), devices);
    return Finish(std::move(devices));
  }

 private:
  struct ProblemLine {
    int line;
    std::string text;
  };

  void Problem(int line, const std::string& key, const std::string& problem) {
    std::string text = "scenario " + path_;
    if (line > 0) text += ":" + std::to_string(line);
    text += ": ";
    if (!key.empty()) text += key + ": ";
    problems_.push_back({line, text + problem});
  }

  // Problems go out in the order of the file, whatever order they were found in.
  ParsedScenario Finish(std::vector<ScenarioDevice> devices) {
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const ProblemLine& a, const ProblemLine& b) { return a.line < b.line; });
    for (const ProblemLine& p : problems_) errors_ << p.text << '\n';
    return {std::move(devices), static_cast<int>(problems_.size())};
  }

  void ReadIni(const host::TMemIniFile& ini, std::vector<ScenarioDevice>& devices) {
    const std::vector<std::string> sections = ini.ReadSections();
    const int firstSection = sections.empty() ? 0 : ini.LineOfSection(sections.front());
    for (const auto& bad : ini.MalformedLines()) {
      const bool pair =
          bad.text.find('=') != std::string::npos && (firstSection == 0 || bad.line < firstSection);
      Problem(bad.line, "",
              pair ? "key outside any section: " + bad.text
                   : "not a [section], key=value or ;comment line: " + bad.text);
    }
    std::set<std::string> seen;
    for (const std::string& section : sections) {
      if (!seen.insert(host::UpperCase(section)).second) {
        // Reading goes by name, so a second section of a name would repeat the first.
        Problem(ini.LineOfSection(section), "[" + section + "]",
                "section name used more than once; only this section is read");
        continue;
      }
      devices.push_back(ReadDevice(ini, section));
    }
  }

  ScenarioDevice ReadDevice(const host::TMemIniFile& ini, const std::string& section) {
    ScenarioDevice d;
    d.config.name = section;
    std::set<std::string> seen;
    for (const std::string& key : ini.ReadSection(section)) {
      if (!seen.insert(host::UpperCase(key)).second) {
        Problem(ini.LineOfValue(section, key), key,
                "given more than once in [" + section + "]; this value is used");
        continue;
      }
      Value v{key, ini.ReadString(section, key, ""), ini.LineOfValue(section, key)};
      ReadKey(v, d);
    }
    if (d.unplugAfterMs != 0 && d.unplugAfterMs <= d.plugAfterMs) {
      Problem(ini.LineOfValue(section, "UnplugAfterMs"), "UnplugAfterMs",
              "must be later than PlugAfterMs (" + std::to_string(d.plugAfterMs) +
                  "); the device stays plugged in");
      d.unplugAfterMs = 0;
    }
    return d;
  }

  struct Value {
    std::string key;
    std::string text;
    int line;
  };

  void ReadKey(const Value& v, ScenarioDevice& d) {
    DeviceConfig& c = d.config;
    auto u16 = [&](std::uint16_t& field, std::uint64_t max) {
      if (auto n = Number(v, max)) field = static_cast<std::uint16_t>(*n);
    };
    auto u32 = [&](std::uint32_t& field, std::uint64_t max) {
      if (auto n = Number(v, max)) field = static_cast<std::uint32_t>(*n);
    };
    const std::pair<const char*, std::function<void()>> keys[] = {
        {"Product", [&] { ReadProduct(v, c); }},
        {"VendorID", [&] { u16(c.vendorId, 0xFFFF); }},
        {"ProductID", [&] { u16(c.productId, 0xFFFF); }},
        {"Version", [&] { u16(c.version, 0xFFFF); }},
        {"UsagePage", [&] { u16(c.usagePage, 0xFFFF); }},
        {"Usage", [&] { u16(c.usage, 0xFFFF); }},
        {"FeatureReportLength", [&] { u16(c.featureReportLength, kMaxReportLength); }},
        {"InputReportLength", [&] { u16(c.inputReportLength, kMaxReportLength); }},
        {"OutputReportLength", [&] { u16(c.outputReportLength, kMaxReportLength); }},
        {"Access", [&] { Pick(v, kAccessChoices, c.access); }},
        {"Identify", [&] { Pick(v, kYesNoChoices, c.identify); }},
        {"Firmware", [&] { Pick(v, kFirmwareChoices, c.firmware); }},
        {"ReplyAfterPolls",
         [&] {
           if (auto n = Number(v, kMaxPolls)) c.replyAfterPolls = static_cast<int>(*n);
         }},
        {"PlugAfterMs", [&] { u32(d.plugAfterMs, kMaxMs); }},
        {"UnplugAfterMs", [&] { u32(d.unplugAfterMs, kMaxMs); }},
        {"OpenLog", [&] { c.openLog = v.text.empty() ? "" : BesideScenario(v.text); }},
    };
    for (const auto& [name, read] : keys) {
      if (SameText(v.key, name)) {
        read();
        return;
      }
    }
    Problem(v.line, v.key, "unknown key");
  }

  // The value when it is a number within 0..max; else nothing, and the problem is reported.
  std::optional<std::uint64_t> Number(const Value& v, std::uint64_t max) {
    const std::optional<std::uint64_t> n = ParseNumber(v.text);
    if (!n) {
      Problem(v.line, v.key, Quoted(v.text) + " is not a number (decimal or 0x-hex)");
      return std::nullopt;
    }
    if (*n > max) {
      Problem(v.line, v.key, Quoted(v.text) + " is out of range 0.." + std::to_string(max));
      return std::nullopt;
    }
    return n;
  }

  template <class E, std::size_t N>
  void Pick(const Value& v, const Choice<E> (&choices)[N], E& field) {
    for (const Choice<E>& choice : choices) {
      if (SameText(v.text, choice.name)) {
        field = choice.value;
        return;
      }
    }
    std::string names;
    for (const Choice<E>& choice : choices) {
      names += (names.empty() ? "" : ", ") + std::string(choice.name);
    }
    Problem(v.line, v.key, Quoted(v.text) + " is not one of " + names);
  }

  void ReadProduct(const Value& v, DeviceConfig& c) {
    const std::u16string wide = host::Utf8ToUtf16(v.text);
    if (wide.size() > kMaxProductChars) {
      Problem(v.line, v.key,
              "longer than " + std::to_string(kMaxProductChars) + " characters; cut there");
    }
    c.product = v.text;
  }

  // OpenLog paths are relative to the scenario's folder, so a scenario travels with its logs.
  std::string BesideScenario(const std::string& file) const {
    if (host::FsPath(file).is_absolute()) return file;
    return host::ExtractFilePath(path_) + file;
  }

  std::string path_;
  std::ostream& errors_;
  std::vector<ProblemLine> problems_;
};

}  // namespace

ParsedScenario ParseScenario(const std::string& path, std::ostream& errors) {
  return ScenarioReader(path, errors).Read();
}

ParsedScenario ParseScenarioText(const std::string& path, const std::string& text,
                                 std::ostream& errors) {
  return ScenarioReader(path, errors).ReadText(text);
}

}  // namespace virtualhid
