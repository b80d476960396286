// tilldiag: what the programs see of the HID interfaces, and what happens when they open the
// drawer. For technicians at a till whose drawer stays shut, and for scripts (--json).
#include <iostream>
#include <string>
#include <vector>

#include "apps/tilldiag/CommandLine.h"
#include "apps/tilldiag/InterfaceSurvey.h"
#include "apps/tilldiag/OpenRun.h"
#include "apps/tilldiag/Report.h"
#include "hid/SystemLibrary.h"
#include "host/Exception.h"
#include "host/Process.h"
#include "host/Trace.h"
#include "platform/HidPlatform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Configures the services as the programs do and returns what their trace says of the choice.
std::vector<std::string> ConfigureServices() {
  std::vector<std::string> services;
  const host::Trace trace([&services](double, std::string_view kind, std::string_view text) {
    if (kind == "services") services.emplace_back(text);
  });
  platform::ConfigureHidServices(std::cerr);
  return services;
}

int Run(const tilldiag::Options& options) {
  const std::vector<std::string> services = ConfigureServices();
  if (options.command == tilldiag::Command::List) {
    const tilldiag::Survey survey = tilldiag::SurveyInterfaces();
    std::cout << (options.json ? tilldiag::ListJson(services, survey)
                               : tilldiag::ListText(services, survey));
    return survey.chosen >= 0 ? tilldiag::kExitFound : tilldiag::kExitNotFound;
  }
  std::string path;
  if (options.index >= 0) {
    // Numbered as the list numbers them, the interfaces the programs never see included.
    const tilldiag::Survey survey = tilldiag::SurveyInterfaces();
    if (options.index >= static_cast<int>(survey.interfaces.size())) {
      std::cerr << "tilldiag: there is no interface " << options.index << ": the list has "
                << survey.interfaces.size() << " (tilldiag list shows them)\n";
      return tilldiag::kExitBadUsage;
    }
    path = survey.interfaces[static_cast<size_t>(options.index)].path;
  }
  const tilldiag::OpenOutcome outcome = tilldiag::RunOpenSequence(path);
  std::cout << (options.json ? tilldiag::OpenJson(services, options.index, outcome)
                             : tilldiag::OpenText(services, options.index, outcome));
  return outcome.opened ? tilldiag::kExitFound : tilldiag::kExitNotFound;
}

}  // namespace

int main(int argc, char** argv) {
  hid::RestrictLibrarySearchToSystemFolder();
#ifdef _WIN32
  // Product strings are UTF-8 here; a console shows them as such.
  SetConsoleOutputCP(CP_UTF8);
#endif
  host::InitCommandLine(argc, argv);
  std::vector<std::string> arguments;
  for (int i = 1; i <= host::ParamCount(); ++i) arguments.push_back(host::ParamStr(i));
  const tilldiag::Options options = tilldiag::ParseCommandLine(arguments);
  if (!options.error.empty()) {
    std::cerr << "tilldiag: " << options.error << "\n" << tilldiag::kUsage;
    return tilldiag::kExitBadUsage;
  }
  if (options.command == tilldiag::Command::Help) {
    std::cout << tilldiag::kUsage;
    return 0;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    // What the device layer raised: the programs would have written ERROR.
    std::cerr << "tilldiag: " << e.what() << "\n";
    return tilldiag::kExitNotFound;
  }
}
