// norvane-reg: the store's command-line companion. The operations live in Commands.cpp;
// here are only what belongs to the process: the platform store, the console, signals.

#include "Commands.h"
#include "ValueText.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <csignal>
#include <iostream>
#include <memory>

namespace {

// Whether someone at a terminal can answer. On Windows the NUL device passes isatty(),
// so there it takes a console.
bool Interactive() {
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const norvane::RegCommands::Arguments args(argv + 1, argv + argc);
    if (!args.empty() && norvane::AsciiLower(args[0]) == "--version") {
        std::cout << "norvane-reg " NORVANE_VERSION "\n";
        return 0;
    }
#ifndef _WIN32
    // Past a file size limit an export's write fails and its temporary file is cleared
    // away, instead of the signal ending the command with it left behind.
    if (!args.empty() && norvane::AsciiLower(args[0]) == "export")
        std::signal(SIGXFSZ, SIG_IGN);
#endif
    norvane::RegCommands::Console io{std::cin, std::cout, std::cerr, Interactive()};
    const std::unique_ptr<norvane::KeyStore> store = norvane::MakePlatformStore();
    return norvane::RegCommands::Run(*store, args, io);
}
