// The Linux entry's three roads over the same window logic: the flasher,
// the drive listing and the builder.
#pragma once
#include "app/FlashForm.h"
#include "app/linux/Options.h"
#include "host/linux/LinuxOsCalls.h"
#include "host/linux/TerminalForm.h"

struct LinuxFront {
    TerminalForm& form;
    LinuxOsCalls& os;
    TFlashForm& flash;
    const Options& options;
};

int RunFlasher(LinuxFront& front);
int ListDrives(LinuxFront& front);
int RunBuilder(LinuxFront& front);

// A number from 1 to count typed by the user (Enter: the first); -1 for
// "q" or the end of the input.
int AskNumber(TerminalForm& form, const std::string& what, int count);
