// tilldiag's own logic: its command line, the JSON it writes for scripts, and the reasons it
// gives for an interface not being the drawer. What it finds and sends is judged whole, from
// outside, by tests/blackbox/tilldiag-blackbox.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/tilldiag/CommandLine.h"
#include "apps/tilldiag/InterfaceSurvey.h"
#include "apps/tilldiag/Json.h"
#include "apps/tilldiag/Report.h"

namespace {

using tilldiag::Command;

struct CommandLineCase {
  std::vector<std::string> arguments;
  Command command;
  int index;
  bool json;
  const char* error;  // a part of the message, or "" for none
};

TEST(TilldiagCommandLine, TakesListOrOpenWithAnOptionalNumberAndJsonAnywhere) {
  const CommandLineCase cases[] = {
      {{"list"}, Command::List, -1, false, ""},
      {{"list", "--json"}, Command::List, -1, true, ""},
      {{"--json", "open"}, Command::Open, -1, true, ""},
      {{"open", "3", "--json"}, Command::Open, 3, true, ""},
      {{"open", "0"}, Command::Open, 0, false, ""},
      {{"--help"}, Command::Help, -1, false, ""},
      {{}, Command::Help, -1, false, "no command"},
      {{"lists"}, Command::Help, -1, false, "unknown command 'lists'"},
      {{"list", "2"}, Command::List, -1, false, "takes no argument"},
      {{"open", "1", "2"}, Command::Open, 1, false, "one too many"},
      {{"open", "-1"}, Command::Help, -1, false, "unknown option '-1'"},
      {{"open", "x"}, Command::Open, -1, false, "'x' is not an interface number"},
      {{"open", "2x"}, Command::Open, -1, false, "not an interface number"},
      {{"open", "99999999999"}, Command::Open, -1, false, "not an interface number"},
      {{"--verbose", "list"}, Command::Help, -1, false, "unknown option '--verbose'"},
  };
  for (const CommandLineCase& c : cases) {
    std::string line;
    for (const std::string& a : c.arguments) line += a + " ";
    SCOPED_TRACE(line);
    const tilldiag::Options options = tilldiag::ParseCommandLine(c.arguments);
    if (*c.error == '\0') {
      EXPECT_EQ(options.error, "");
      EXPECT_EQ(options.command, c.command);
      EXPECT_EQ(options.index, c.index);
      EXPECT_EQ(options.json, c.json);
    } else {
      EXPECT_NE(options.error.find(c.error), std::string::npos) << options.error;
    }
  }
}

TEST(TilldiagJson, StringsAlwaysParseWhateverBytesTheDeviceGave) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"QV USB Cash Drawer", "\"QV USB Cash Drawer\""},
      {"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
      {"tab\there\nnew\x01\x1F", "\"tab\\u0009here\\u000anew\\u0001\\u001f\""},
      {"\xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94", "\"\xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94\""},
      {"\xF0\x9F\x92\xB0", "\"\xF0\x9F\x92\xB0\""},  // four bytes, past the 16-bit range
      {"a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},                                                       // no UTF-8 byte at all
      {"\xC0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // an overlong NUL
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
      {"end\xE2\x82", "\"end\xEF\xBF\xBD\xEF\xBF\xBD\""},            // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(tilldiag::JsonQuoted(c.in), c.out) << c.in;
}

TEST(TilldiagJson, CommasSeparateMembersAndElementsAtEveryDepth) {
  tilldiag::JsonWriter json;
  json.BeginObject().Key("a").BeginArray().Number(std::int64_t{1}).Number(2.5).EndArray();
  json.Key("b").BeginObject().EndObject().Key("c").BeginArray().BeginObject().Key("x").Null();
  json.EndObject().BeginObject().EndObject().EndArray().Key("d").Bool(false).EndObject();
  EXPECT_EQ(json.Text(), R"({"a":[1,2.500],"b":{},"c":[{"x":null},{}],"d":false})");
}

TEST(TilldiagReport, ADeviceStringCannotFakeALineOfItsOwn) {
  tilldiag::Survey survey;
  survey.interfaces.resize(1);
  tilldiag::InterfaceReport& report = survey.interfaces[0];
  report.identified = true;
  report.product = "Pad\r\ndrawer interface: [0] \"QV USB Cash Drawer\"\x1B[2K";
  report.path = "\\\\?\\hid#pad\n";
  report.reasons = {"cannot be opened: no\x1B"};
  const std::string text = tilldiag::ListText({}, survey);
  EXPECT_EQ(text.find_first_of("\r\x1B"), std::string::npos) << text;
  EXPECT_EQ(text.find("\ndrawer interface"), std::string::npos) << text;
  EXPECT_NE(text.find("\\\\?\\hid#pad\\x0A\n"), std::string::npos) << text;
}

TEST(TilldiagVerdict, NamesEveryPartOfTheProgramsRuleThatFails) {
  const struct {
    USHORT feature;
    std::string product;
    std::string name;
    std::vector<std::string> reasons;
  } cases[] = {
      {5, "QV USB Cash Drawer", "QV USB Cash Drawer", {}},
      {5, "Till QV USB Cash 2", "Till QV USB Cash 2", {}},  // anywhere in the name
      {6, "QV USB Cash Drawer", "QV USB Cash Drawer", {"feature report length 6, not 5"}},
      {4, "QV USB Cash Drawer", "QV USB Cash Drawer", {"feature report length 4, not 5"}},
      {5,
       "qv usb cash drawer",
       "qv usb cash drawer",
       {"the product string lacks \"QV USB Cash\" (letter case counts)"}},
      {5, "", "Device VID=1234 PID=5678", {"no product string"}},
      {0,
       "Keyboard",
       "Keyboard",
       {"feature report length 0, not 5",
        "the product string lacks \"QV USB Cash\" (letter case counts)"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tilldiag::DrawerRuleFailures(c.feature, c.product, c.name), c.reasons) << c.name;
  }
}

}  // namespace
