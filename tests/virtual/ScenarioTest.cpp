// Scenario files: every key, every firmware, what a broken file reports, timed plugging on the
// virtual clock, the environment switch, and the example files shipped in scenarios/.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "VirtualTesting.h"
#include "tests/TestFolder.h"
#include "host/Application.h"
#include "host/Messages.h"
#include "host/Trace.h"
#include "host/portable/Clock.h"
#include "platform/HidPlatform.h"
#include "platform/virtual/Scenario.h"

namespace {

namespace fs = std::filesystem;
using virtualhid::Access;
using virtualhid::Firmware;
using virtualhid::ParseScenario;

class ScenarioTest : public vtest::VirtualHidTest {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  // The problems reported for a file, one per line, with the file's path shortened to its name.
  std::vector<std::string> Problems(const std::string& text,
                                    std::vector<virtualhid::ScenarioDevice>* devices = nullptr) {
    const std::string path = Write("s.ini", text);
    std::ostringstream errors;
    auto parsed = ParseScenario(path, errors);
    if (devices != nullptr) *devices = parsed.devices;
    std::vector<std::string> lines;
    std::istringstream in(errors.str());
    for (std::string line; std::getline(in, line);) {
      const auto at = line.find(path);
      if (at != std::string::npos) line.replace(at, path.size(), "s.ini");
      lines.push_back(line);
    }
    EXPECT_EQ(parsed.problems, static_cast<int>(lines.size()));
    return lines;
  }

  till_testing::TestFolder folder{"virtual_hid_scenarios_"};
  const fs::path dir = folder.Path();
};

using Lines = std::vector<std::string>;

TEST_F(ScenarioTest, EveryKeyIsRead) {
  std::vector<virtualhid::ScenarioDevice> devices;
  EXPECT_EQ(Problems("[Till drawer]\n"
                     "Product=QV USB Cash \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94\n"
                     "VendorID=0x0ace\n"
                     "ProductID=4660\n"
                     "Version=0X0102\n"
                     "UsagePage=0xFF01\n"
                     "Usage=3\n"
                     "FeatureReportLength=8\n"
                     "InputReportLength=0\n"
                     "OutputReportLength=2\n"
                     "Access=QueryOnly\n"
                     "Identify=No\n"
                     "Firmware=Silent\n"
                     "ReplyAfterPolls=3\n"
                     "PlugAfterMs=250\n"
                     "UnplugAfterMs=900\n"
                     "OpenLog=logs/open.log\n",
                     &devices),
            Lines{});
  ASSERT_EQ(devices.size(), 1u);
  const auto& d = devices[0];
  const auto& c = d.config;
  EXPECT_EQ(c.name, "Till drawer");
  EXPECT_EQ(c.product, "QV USB Cash \xD7\x9E\xD7\x92\xD7\x99\xD7\xA8\xD7\x94");
  EXPECT_EQ(c.vendorId, 0x0ACE);
  EXPECT_EQ(c.productId, 4660);
  EXPECT_EQ(c.version, 0x0102);
  EXPECT_EQ(c.usagePage, 0xFF01);
  EXPECT_EQ(c.usage, 3);
  EXPECT_EQ(c.featureReportLength, 8);
  EXPECT_EQ(c.inputReportLength, 0);
  EXPECT_EQ(c.outputReportLength, 2);
  EXPECT_EQ(c.access, Access::QueryOnly);
  EXPECT_FALSE(c.identify);
  EXPECT_EQ(c.firmware, Firmware::Silent);
  EXPECT_EQ(c.replyAfterPolls, 3);
  EXPECT_EQ(d.plugAfterMs, 250u);
  EXPECT_EQ(d.unplugAfterMs, 900u);
  EXPECT_EQ(fs::path(c.openLog), dir / "logs/open.log");  // beside the scenario
}

TEST_F(ScenarioTest, AnEmptySectionIsADefaultDeviceWithoutProductString) {
  std::vector<virtualhid::ScenarioDevice> devices;
  EXPECT_EQ(Problems("[a]\n; only a comment\n\n[b]\nproduct=QV USB Cash Drawer\n", &devices),
            Lines{});
  ASSERT_EQ(devices.size(), 2u);
  const virtualhid::DeviceConfig defaults;
  const auto& a = devices[0].config;
  EXPECT_FALSE(a.product.has_value());
  EXPECT_EQ(a.vendorId, defaults.vendorId);
  EXPECT_EQ(a.featureReportLength, 5);
  EXPECT_EQ(a.access, Access::ReadWrite);
  EXPECT_TRUE(a.identify);
  EXPECT_EQ(a.firmware, Firmware::Drawer);
  EXPECT_EQ(a.replyAfterPolls, 0);
  EXPECT_EQ(a.openLog, "");
  EXPECT_EQ(devices[0].plugAfterMs, 0u);
  EXPECT_EQ(devices[1].config.product, "QV USB Cash Drawer");  // keys ignore letter case
}

TEST_F(ScenarioTest, EveryChoiceOfEveryEnumeratedKey) {
  const std::pair<const char*, Firmware> firmwares[] = {
      {"Drawer", Firmware::Drawer},         {"silent", Firmware::Silent},
      {"ErrorReply", Firmware::ErrorReply}, {"NOACK", Firmware::NoAck},
      {"WriteFails", Firmware::WriteFails}, {"None", Firmware::None}};
  for (const auto& [text, value] : firmwares) {
    std::vector<virtualhid::ScenarioDevice> devices;
    EXPECT_EQ(Problems(std::string("[d]\nFirmware=") + text + "\n", &devices), Lines{});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].config.firmware, value) << text;
  }
  const std::pair<const char*, Access> accesses[] = {
      {"ReadWrite", Access::ReadWrite}, {"QueryOnly", Access::QueryOnly}, {"none", Access::None}};
  for (const auto& [text, value] : accesses) {
    std::vector<virtualhid::ScenarioDevice> devices;
    EXPECT_EQ(Problems(std::string("[d]\nAccess=") + text + "\nIdentify=yes\n", &devices), Lines{});
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].config.access, value) << text;
    EXPECT_TRUE(devices[0].config.identify);
  }
}

TEST_F(ScenarioTest, AMissingFileIsReportedAndGivesNoDevices) {
  std::ostringstream errors;
  const std::string path = (dir / "nowhere.ini").string();
  auto parsed = ParseScenario(path, errors);
  EXPECT_TRUE(parsed.devices.empty());
  EXPECT_EQ(parsed.problems, 1);
  EXPECT_EQ(errors.str(), "scenario " + path + ": file not found\n");

  std::ostringstream folderErrors;
  ParseScenario(dir.string(), folderErrors);
  EXPECT_EQ(folderErrors.str(), "scenario " + dir.string() + ": not a file\n");
}

TEST_F(ScenarioTest, MistakesAreReportedByLineAndKeyAndTheRestIsRead) {
  std::vector<virtualhid::ScenarioDevice> devices;
  const Lines problems = Problems(
      "Product=stray\n"               // 1
      "[first]\n"                     // 2
      "Product=QV USB Cash Drawer\n"  // 3
      "this line means nothing\n"     // 4
      "Colour=blue\n"                 // 5
      "VendorID=12x\n"                // 6
      "ProductID=70000\n"             // 7
      "Firmware=Drawr\n"              // 8
      "Access=Write\n"                // 9
      "Identify=maybe\n"              // 10
      "FeatureReportLength=-5\n"      // 11
      "ReplyAfterPolls=\n"            // 12
      "[second\n"                     // 13
      "[third]\n"                     // 14
      "PlugAfterMs=500\n"             // 15
      "UnplugAfterMs=400\n"           // 16
      "Product=one\n"                 // 17
      "product=two\n"                 // 18
      "[First]\n"                     // 19
      "Product=shadow\n",             // 20
      &devices);
  std::string text;
  for (const std::string& line : problems) text += line + "\n";
  EXPECT_EQ(text, R"(scenario s.ini:1: key outside any section: Product=stray
scenario s.ini:2: [First]: section name used more than once; only this section is read
scenario s.ini:4: not a [section], key=value or ;comment line: this line means nothing
scenario s.ini:5: Colour: unknown key
scenario s.ini:6: VendorID: '12x' is not a number (decimal or 0x-hex)
scenario s.ini:7: ProductID: '70000' is out of range 0..65535
scenario s.ini:8: Firmware: 'Drawr' is not one of Drawer, Silent, ErrorReply, NoAck, WriteFails, None
scenario s.ini:9: Access: 'Write' is not one of ReadWrite, QueryOnly, None
scenario s.ini:10: Identify: 'maybe' is not one of Yes, No
scenario s.ini:11: FeatureReportLength: '-5' is not a number (decimal or 0x-hex)
scenario s.ini:12: ReplyAfterPolls: '' is not a number (decimal or 0x-hex)
scenario s.ini:13: not a [section], key=value or ;comment line: [second
scenario s.ini:16: UnplugAfterMs: must be later than PlugAfterMs (500); the device stays plugged in
scenario s.ini:17: product: given more than once in [third]; this value is used
)");
  ASSERT_EQ(devices.size(), 2u);
  const auto& first = devices[0].config;
  EXPECT_EQ(first.product, "QV USB Cash Drawer");
  EXPECT_EQ(first.vendorId, 0x1234);  // bad values keep the defaults
  EXPECT_EQ(first.productId, 0x5678);
  EXPECT_EQ(first.firmware, Firmware::Drawer);
  EXPECT_EQ(first.featureReportLength, 5);
  EXPECT_EQ(devices[1].config.product, "one");
  EXPECT_EQ(devices[1].plugAfterMs, 500u);
  EXPECT_EQ(devices[1].unplugAfterMs, 0u);
}

TEST_F(ScenarioTest, TextAlreadyReadIsReadAsTheFileWouldBe) {
  const std::string text = "[d]\nProduct=QV\nColour=blue\nOpenLog=open.log\n";
  const std::string path = Write("s.ini", text);
  std::ostringstream fromFile;
  const auto file = ParseScenario(path, fromFile);
  fs::remove(path);  // the text is all there is to read
  std::ostringstream fromText;
  const auto parsed = virtualhid::ParseScenarioText(path, text, fromText);
  EXPECT_EQ(fromText.str(), "scenario " + path + ":3: Colour: unknown key\n");
  EXPECT_EQ(fromText.str(), fromFile.str());
  EXPECT_EQ(parsed.problems, 1);
  ASSERT_EQ(parsed.devices.size(), 1u);
  EXPECT_EQ(parsed.devices[0].config.product, "QV");
  EXPECT_EQ(parsed.devices[0].config.openLog, file.devices.at(0).config.openLog);
}

TEST_F(ScenarioTest, LoadingAddsTheDevicesInFileOrderAndRegistersTheLibraries) {
  virtualhid::Reset();
  const std::string path = Write("two.ini",
                                 "[keyboard]\nAccess=QueryOnly\nFirmware=None\n"
                                 "[drawer]\nProduct=QV USB Cash Drawer\nOpenLog=open.log\n"
                                 "[late]\nPlugAfterMs=100\n");
  std::ostringstream errors;
  EXPECT_TRUE(virtualhid::LoadScenario(path, errors));
  EXPECT_EQ(errors.str(), "");
  EXPECT_TRUE(virtualhid::LibrariesRegistered());
  EXPECT_EQ(virtualhid::Devices(), (std::vector<virtualhid::DeviceId>{0, 1, 2}));
  EXPECT_EQ(virtualhid::FindDevice("drawer"), 1);
  EXPECT_TRUE(virtualhid::IsPlugged(0));
  EXPECT_FALSE(virtualhid::IsPlugged(2));

  api = std::make_unique<vtest::Libraries>();  // the libraries as registered by the load
  HANDLE h = Open(1);
  ASSERT_TRUE(Send(h, 'W', 79, 0));
  api->CloseHandle(h);
  std::ifstream in(dir / "open.log", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "OPEN\r\n");
}

TEST_F(ScenarioTest, ABrokenFileStillLeavesTheServicesInPlace) {
  virtualhid::Reset();
  std::ostringstream errors;
  EXPECT_FALSE(virtualhid::LoadScenario((dir / "missing.ini").string(), errors));
  EXPECT_NE(errors.str().find("file not found"), std::string::npos);
  EXPECT_TRUE(virtualhid::LibrariesRegistered());
  EXPECT_TRUE(virtualhid::Devices().empty());
}

class TimedScenario : public ScenarioTest {
 protected:
  void SetUp() override {
    ScenarioTest::SetUp();
    host::portable::UseVirtualClock();
  }
  void TearDown() override {
    host::portable::UseRealClock();
    ScenarioTest::TearDown();
  }
  // Runs the loop until the device's plug state is `plugged`; the virtual time it took.
  std::int64_t RunUntil(virtualhid::DeviceId d, bool plugged) {
    const std::int64_t start = host::TickCountMs();
    for (int i = 0; i < 100 && virtualhid::IsPlugged(d) != plugged; ++i) app.HandleMessage();
    EXPECT_EQ(virtualhid::IsPlugged(d), plugged);
    return host::TickCountMs() - start;
  }
  host::TApplication app;
};

TEST_F(TimedScenario, PlugAndUnplugHappenOnTheVirtualClockAtTheirTimes) {
  const std::string path = Write("late.ini",
                                 "[late]\nPlugAfterMs=1000\nUnplugAfterMs=2500\n"
                                 "[early]\nUnplugAfterMs=300\n");
  std::ostringstream errors;
  const std::int64_t start = host::TickCountMs();
  ASSERT_TRUE(virtualhid::LoadScenario(path, errors)) << errors.str();
  const auto late = virtualhid::FindDevice("late");
  const auto early = virtualhid::FindDevice("early");
  EXPECT_FALSE(virtualhid::IsPlugged(late));
  EXPECT_TRUE(virtualhid::IsPlugged(early));
  app.ProcessMessages();
  EXPECT_FALSE(virtualhid::IsPlugged(late));

  RunUntil(early, false);
  EXPECT_EQ(host::TickCountMs() - start, 300);
  RunUntil(late, true);
  EXPECT_EQ(host::TickCountMs() - start, 1000);
  RunUntil(late, false);
  EXPECT_EQ(host::TickCountMs() - start, 2500);
}

TEST_F(TimedScenario, ResetStopsTheTimers) {
  const std::string path = Write("late.ini", "[late]\nPlugAfterMs=100\n");
  std::ostringstream errors;
  ASSERT_TRUE(virtualhid::LoadScenario(path, errors));
  ASSERT_EQ(errors.str(), "");  // the timer was armed: there is something to stop
  virtualhid::Reset();
  virtualhid::AddDevice(virtualhid::DeviceConfig{}, false);  // takes the same id
  host::portable::AdvanceClock(1000);
  app.ProcessMessages();
  EXPECT_FALSE(virtualhid::IsPlugged(0));
}

// Restores the variable however the test ends.
class SimulationVariable {
 public:
  explicit SimulationVariable(const std::string& value) { Set(value); }
  ~SimulationVariable() { Set(""); }
  SimulationVariable(const SimulationVariable&) = delete;
  SimulationVariable& operator=(const SimulationVariable&) = delete;

 private:
  static void Set(const std::string& value) {
#ifdef _WIN32
    _putenv_s(virtualhid::kSimulationVariable, value.c_str());
#else
    if (value.empty()) {
      unsetenv(virtualhid::kSimulationVariable);
    } else {
      setenv(virtualhid::kSimulationVariable, value.c_str(), 1);
    }
#endif
  }
};

TEST_F(ScenarioTest, AScenarioInUseIsWhatTheTraceSaysFirstWithTheFilesProblems) {
  const std::string scenario = Write("env.ini", "[drawer]\nBogus=1\n");
  const std::string tracePath = Write("trace.txt", "");
  SimulationVariable set(scenario);
  std::ostringstream errors;
  {
    host::Trace trace(tracePath, "tillpop");
    platform::ConfigureHidServices(errors);
  }
  std::ifstream in(tracePath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find(' ', 6)));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], " services: virtual drawer from the scenario file " + scenario +
                          " (TILL_SIMULATION is set)");
  EXPECT_EQ(lines[2], " services: scenario " + scenario + ":2: Bogus: unknown key");
  EXPECT_NE(errors.str().find(":2: Bogus: unknown key"), std::string::npos);  // still said there
}

TEST_F(ScenarioTest, TheEnvironmentVariableSwitchesTheProgramsOver) {
  std::ostringstream errors;
  {
    SimulationVariable unset("");
    virtualhid::AddDevice(virtualhid::ReadyDrawer());
    EXPECT_FALSE(virtualhid::ConfigureFromEnvironment(errors));
    EXPECT_EQ(virtualhid::Devices().size(), 1u);  // left alone
  }
  {
    SimulationVariable set(Write("env.ini", "[drawer]\nProduct=QV USB Cash Drawer\nBogus=1\n"));
    EXPECT_TRUE(virtualhid::ConfigureFromEnvironment(errors));
    EXPECT_EQ(virtualhid::Devices().size(), 1u);  // started afresh from the file
    EXPECT_EQ(virtualhid::FindDevice("drawer"), 0);
    EXPECT_TRUE(virtualhid::LibrariesRegistered());
    EXPECT_NE(errors.str().find(":3: Bogus: unknown key"), std::string::npos) << errors.str();
  }
  {
    SimulationVariable missing((dir / "gone.ini").string());
    std::ostringstream more;
    EXPECT_TRUE(virtualhid::ConfigureFromEnvironment(more));
    EXPECT_TRUE(virtualhid::Devices().empty());
    EXPECT_TRUE(virtualhid::LibrariesRegistered());
    EXPECT_NE(more.str().find("file not found"), std::string::npos);
  }
}

// The examples shipped for integrators read cleanly and hold what their names promise.
TEST_F(ScenarioTest, ShippedExamplesReadWithoutProblems) {
  const fs::path folder = TILL_SCENARIO_DIR;
  auto read = [&](const char* name) {
    std::ostringstream errors;
    auto parsed = ParseScenario((folder / name).string(), errors);
    EXPECT_EQ(errors.str(), "") << name;
    return parsed.devices;
  };
  auto isDrawer = [](const virtualhid::ScenarioDevice& d) {
    return d.config.product && d.config.product->find("QV USB Cash") != std::string::npos &&
           d.config.featureReportLength == 5;
  };
  auto ready = read("ready-drawer.ini");
  ASSERT_EQ(ready.size(), 1u);
  EXPECT_TRUE(isDrawer(ready[0]));
  EXPECT_EQ(ready[0].config.firmware, Firmware::Drawer);
  EXPECT_TRUE(read("no-device.ini").empty());
  EXPECT_EQ(read("error-reply.ini").at(0).config.firmware, Firmware::ErrorReply);
  EXPECT_EQ(read("silent-drawer.ini").at(0).config.firmware, Firmware::Silent);
  EXPECT_EQ(read("slow-drawer.ini").at(0).config.replyAfterPolls, 4);
  EXPECT_EQ(read("no-ack.ini").at(0).config.firmware, Firmware::NoAck);
  EXPECT_EQ(read("write-fails.ini").at(0).config.firmware, Firmware::WriteFails);
  auto two = read("two-drawers.ini");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_TRUE(isDrawer(two[0]) && isDrawer(two[1]));
  EXPECT_EQ(read("late-drawer.ini").at(0).plugAfterMs, 1000u);
  EXPECT_EQ(read("drawer-goes-away.ini").at(0).unplugAfterMs, 500u);
  auto mixed = read("keyboard-and-drawer.ini");
  ASSERT_EQ(mixed.size(), 2u);
  EXPECT_FALSE(isDrawer(mixed[0]));
  EXPECT_EQ(mixed[0].config.access, Access::QueryOnly);
  EXPECT_TRUE(isDrawer(mixed[1]));
  auto nearMiss = read("near-miss.ini");
  ASSERT_EQ(nearMiss.size(), 3u);
  EXPECT_FALSE(isDrawer(nearMiss[0]) || isDrawer(nearMiss[1]));
  EXPECT_EQ(nearMiss[2].config.access, Access::None);

  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".ini") {
      ++files;
      read(entry.path().filename().string().c_str());
    }
  }
  EXPECT_EQ(files, 12u);
}

}  // namespace
