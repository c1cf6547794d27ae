#pragma once
// What the administrator does with a command line: it shows its help or its version and
// refuses everything else, all without opening a display.

namespace norvane {

// The exit status: 0 after --help or --version, 2 for anything else (one line on stderr).
int RunCommandLine(int argc, char** argv);

}  // namespace norvane
