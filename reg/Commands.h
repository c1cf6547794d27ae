#pragma once
// norvane-reg's operations (query, add, delete, export, import) in the manner of the
// Windows reg command, over any KeyStore and any streams, so that they run in-process as
// well as behind the program's main. Text in and out is 8-bit, as stored.

#include "KeyStore.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace norvane::RegCommands {

// Where a command writes its output and its one-line errors, and where it asks: the
// question goes to out and the answer is read from in, but only when interactive says
// that someone at a terminal can answer. Otherwise /f or /y is the way to go ahead.
struct Console {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool interactive = false;
};

using Arguments = std::vector<std::string>;

// The operation's own arguments, after its name; each returns the exit code, 0 or 1.
int Query(KeyStore& store, const Arguments& args, Console& io);
int Add(KeyStore& store, const Arguments& args, Console& io);
int Delete(KeyStore& store, const Arguments& args, Console& io);
int Export(KeyStore& store, const Arguments& args, Console& io);
int Import(KeyStore& store, const Arguments& args, Console& io);

// The whole command line after the program name: the operation (or /?) and its arguments.
int Run(KeyStore& store, const Arguments& args, Console& io);

}  // namespace norvane::RegCommands
