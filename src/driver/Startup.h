// The program entry: banner, configuration, device selection, capability
// checks, then the pass loop.
#pragma once

namespace tressel {

// Exit codes of the run.
constexpr int kExitOk = 0;
constexpr int kExitStartupError = -1; // no tuner library, a missing export, a path too long
constexpr int kExitNoDevices = -2;
constexpr int kExitCannotStart = -3;
constexpr int kExitMissingCapability = -4;

// Runs the program with its command line. Returns the process exit code.
int TresselMain(int argc, char** argv);

} // namespace tressel
