// The flasher's run in the command log: where the log goes, the program's
// version, the header of a run and the drives the scan found.
#pragma once
#include <string>

#include "drive/CDDrives.h"
#include "package/Package.h"
#include "platform/OsCalls.h"

// The program's version as the log's header names it: the release's, then the
// caption's ("1.0.0, Flash Utility V1.048A").
std::string ProgramVersion();

// The log beside the flasher, named after it: C:\FLASH\2B20.EXE -> C:\FLASH\2B20.LOG.
std::string LogPathBeside(const std::string& exePath);

// Starts the command log of a flasher run on Windows: beside the flasher,
// else in the user's temporary folder under the same name. False (no log)
// when neither can be written, and for the template (the builder writes
// no log); nothing is shown.
bool OpenFlasherLog(OsCalls& os, const PackageView& package, const std::string& exePath);

// The header of a run: date and time, version, package, system and road
// (nothing without a log).
void LogRunHeader(OsCalls& os, const PackageView& package);
// One drive the scan found, and whether the flasher accepts it.
void LogDrive(CDDrive& drive, bool eligible, const std::string& why);
