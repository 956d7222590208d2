// The command line of the Linux program.
#pragma once
#include <string>
#include <vector>

struct Options {
    std::string file;                  // the flasher, or the template
    std::vector<std::string> devices;  // --device, in order
    bool list = false, yes = false, help = false, version = false;
    std::string model, firmware;  // builder without questions
    std::string log;              // --log FILE: the command log, appended to
    bool verbose = false;         // --verbose: each command's log line on stderr
};

// False with a sentence in *error for a command line that cannot be run.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string* error);

std::string HelpText();
