// Keeps other requests off one drive while it is being flashed, on the NT
// family: the drive's exclusive lock on the handle that carries the flash's
// command blocks (Vista and later: every other handle's request, the class
// driver's media polling included, is refused), and media change
// notification switched off through a second handle (XP and later: the class
// driver stops polling). Each measure is taken where the system offers it and
// silently left out where it does not; neither sends a command block. On the
// ASPI transport there is no handle and nothing is done.
#pragma once
#include <string>

#include "drive/CDDrive.h"
#include "platform/OsCalls.h"

class DriveGuard {
  public:
    enum class Outcome {
        Taken,          // whatever the system offers is held (possibly nothing)
        LockedByOther,  // another program holds the drive's lock: nothing is held
    };

    DriveGuard() = default;
    ~DriveGuard() { Release(); }
    DriveGuard(const DriveGuard&) = delete;
    DriveGuard& operator=(const DriveGuard&) = delete;

    // True when another program holds the drive's exclusive lock; owner is
    // the name it gave (may be empty). Sends no command block.
    static bool LockedByAnother(CDDrive& drive, std::string& owner);

    // Media polling off, then the lock with callerName. On LockedByOther,
    // owner names the program and the polling is back on.
    Outcome Take(CDDrive& drive, const char* callerName, std::string& owner);
    // Unlocks (without the media notifications that would send Explorer to a
    // drive still restarting) and closes the polling handle. Idempotent.
    void Release();

    bool Locked() const { return locked_; }
    bool PollingOff() const { return pollingHandle_ != nullptr; }

  private:
    void PollingOffFor(CDDrive& drive);

    CDDrive* drive_ = nullptr;
    bool locked_ = false;
    OsHandle pollingHandle_ = nullptr;
};
