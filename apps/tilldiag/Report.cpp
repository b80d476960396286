#include "apps/tilldiag/Report.h"

#include <cstdio>

#include "apps/tilldiag/Json.h"
#include "host/Trace.h"

namespace tilldiag {
namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04X", value & 0xFFFFu);
  return text;
}

// A text from a device, a scenario or the system, kept on its line: a product string with a line
// break in it must not make a line of the report's own, a "drawer interface" line least of all.
std::string Shown(std::string_view text) {
  return host::OneLineText(text);
}

std::string Milliseconds(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f ms", value);
  return text;
}

std::string ServicesText(const std::vector<std::string>& services) {
  std::string text;
  for (const std::string& line : services) text += "HID services: " + Shown(line) + "\n";
  return text;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + Shown(part);
  return text;
}

std::string InterfaceLine(const InterfaceReport& report, bool chosen) {
  std::string line = "[" + std::to_string(report.index) + "] ";
  if (report.identified) {
    line += Hex4(report.vendorId) + ":" + Hex4(report.productId) + " ";
    line += report.product.empty() ? "(no product string)" : "\"" + Shown(report.product) + "\"";
    line += "  usage " + Hex4(report.usagePage) + ":" + Hex4(report.usage);
    line += "  input " + std::to_string(report.inputReportLength);
    line += "  feature " + std::to_string(report.featureReportLength);
  } else {
    line += "????:????";
  }
  line += "  ";
  line += AccessText(report.access);
  if (report.drawer) {
    line += chosen ? "  -> the drawer interface (the programs open this one)"
                   : "  -> a drawer interface (the programs open an earlier one)";
    if (report.access == Access::QueryOnly) {
      line += "; read-write access refused: " + Shown(report.readWriteRefusal);
    }
  } else {
    line += "  -> not the drawer: " + Joined(report.reasons);
  }
  return line + "\n    " + Shown(report.path) + "\n";
}

void ServicesJson(JsonWriter& json, const std::vector<std::string>& services) {
  json.Key("services").BeginArray();
  for (const std::string& line : services) json.String(line);
  json.EndArray();
}

void InterfaceJson(JsonWriter& json, const InterfaceReport& report) {
  json.BeginObject();
  json.Key("index").Number(std::int64_t{report.index});
  json.Key("path").String(report.path);
  json.Key("access").String(AccessText(report.access));
  json.Key("readWriteRefusal").String(report.readWriteRefusal);
  json.Key("identified").Bool(report.identified);
  if (report.identified) {
    json.Key("vendorId").Number(std::int64_t{report.vendorId});
    json.Key("productId").Number(std::int64_t{report.productId});
    json.Key("product").String(report.product);
    json.Key("name").String(report.name);
    json.Key("usagePage").Number(std::int64_t{report.usagePage});
    json.Key("usage").Number(std::int64_t{report.usage});
    json.Key("inputReportLength").Number(std::int64_t{report.inputReportLength});
    json.Key("featureReportLength").Number(std::int64_t{report.featureReportLength});
  }
  json.Key("drawer").Bool(report.drawer);
  json.Key("reasons").BeginArray();
  for (const std::string& reason : report.reasons) json.String(reason);
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string ListText(const std::vector<std::string>& services, const Survey& survey) {
  std::string text = ServicesText(services);
  for (const InterfaceReport& report : survey.interfaces) {
    text += InterfaceLine(report, report.index == survey.chosen);
  }
  if (survey.chosen >= 0) {
    const InterfaceReport& chosen = survey.interfaces[static_cast<size_t>(survey.chosen)];
    text +=
        "drawer interface: [" + std::to_string(chosen.index) + "] \"" + Shown(chosen.name) + "\"\n";
  } else {
    text += "no drawer interface among " + std::to_string(survey.interfaces.size()) +
            " HID interfaces\n";
  }
  return text;
}

std::string ListJson(const std::vector<std::string>& services, const Survey& survey) {
  JsonWriter json;
  json.BeginObject();
  ServicesJson(json, services);
  json.Key("interfaces").BeginArray();
  for (const InterfaceReport& report : survey.interfaces) InterfaceJson(json, report);
  json.EndArray();
  json.Key("drawer");
  if (survey.chosen >= 0) {
    json.Number(std::int64_t{survey.chosen});
  } else {
    json.Null();
  }
  json.EndObject();
  return json.Text() + "\n";
}

std::string OpenText(const std::vector<std::string>& services, int index,
                     const OpenOutcome& outcome) {
  std::string text = ServicesText(services);
  for (const TracedEvent& event : outcome.events) {
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%10.3f ms  ", event.milliseconds);
    text += stamp + Shown(event.kind) + ": " + Shown(event.text) + "\n";
  }
  const std::string total = Milliseconds(outcome.totalMilliseconds) + " in all";
  if (!outcome.listed) {
    return text + "interface [" + std::to_string(index) +
           "] is not in the programs' device list (it cannot be opened or identified): nothing "
           "was sent; " +
           total + "\n";
  }
  if (!outcome.found) return text + "no drawer interface found: nothing was sent; " + total + "\n";
  text += "DrawerError " + std::to_string(outcome.drawerError) + ": " + outcome.meaning + "\n";
  text += outcome.opened ? "the drawer opened" : "the drawer did not open";
  return text + " (\"" + Shown(outcome.device) + "\", " + Shown(outcome.devicePath) + "); " +
         total + "\n";
}

std::string OpenJson(const std::vector<std::string>& services, int index,
                     const OpenOutcome& outcome) {
  JsonWriter json;
  json.BeginObject();
  ServicesJson(json, services);
  json.Key("interface");
  if (index >= 0) {
    json.Number(std::int64_t{index});
  } else {
    json.Null();
  }
  json.Key("listed").Bool(outcome.listed);
  json.Key("found").Bool(outcome.found);
  json.Key("device").String(outcome.device);
  json.Key("path").String(outcome.devicePath);
  json.Key("exchange").BeginArray();
  for (const TracedEvent& event : outcome.events) {
    json.BeginObject();
    json.Key("ms").Number(event.milliseconds);
    json.Key("kind").String(event.kind);
    json.Key("text").String(event.text);
    json.EndObject();
  }
  json.EndArray();
  json.Key("drawerError").Number(std::int64_t{outcome.drawerError});
  json.Key("meaning").String(outcome.meaning);
  json.Key("opened").Bool(outcome.opened);
  json.Key("totalMs").Number(outcome.totalMilliseconds);
  json.EndObject();
  return json.Text() + "\n";
}

}  // namespace tilldiag
