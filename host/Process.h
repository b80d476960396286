// The running program: its path, its command line and its environment.
#pragma once

#include <string>
#include <vector>

namespace host {

// Records the command line. On Windows the wide command line of the process is used instead of
// argv, so non-ANSI arguments survive.
void InitCommandLine(int argc, char** argv);
// Replaces the command line (tests).
void SetCommandLine(std::vector<std::string> params);
int ParamCount();
std::string ParamStr(int index);  // 0 is the program; out of range gives ""

// Full path of the running executable, UTF-8.
std::string ModuleFileName();

// The path by which the system itself knows the file at `path`: links, junctions, short (8.3)
// names and "." or ".." resolved; on Windows, whose file names ignore letter case, in upper case.
// So every spelling of one file gives one text. The path as given when the file cannot be
// reached.
std::string NormalisedPath(const std::string& path);

// An environment variable's value, UTF-8 (read from the wide environment on Windows, so a path
// outside the ANSI code page survives); "" when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace host
