// One flash at a time on this computer: a system-wide named mutex that a
// flash holds from the Yes at its prompt to the end of the button's handler.
// A second flasher, or FLASH pressed in one while another flashes, finds it
// owned and sends nothing. Where no mutex can be made the flash goes on: the
// mutex keeps two flashers apart, it is not needed for one to work.
#pragma once
#include <string>

#include "platform/OsCalls.h"

class FlashMutex {
  public:
    enum class Result {
        Taken,        // this flash owns it now
        Busy,         // another flash owns it
        Unavailable,  // no mutex could be made; the flash goes on without it
    };

    explicit FlashMutex(OsCalls& os) : os_(os) {}
    ~FlashMutex() { Release(); }
    FlashMutex(const FlashMutex&) = delete;
    FlashMutex& operator=(const FlashMutex&) = delete;

    Result Take();
    void Release();
    // True when another flash owns it now; takes nothing.
    bool HeldElsewhere();

    // Reaches other sessions (fast user switching, remote desktop) where the
    // system has them: the "Global\" prefix exists from Windows 2000 on, and
    // 9x and NT 4.0 take no backslash in the name.
    static std::string Name(OsCalls& os);

  private:
    OsCalls& os_;
    OsHandle handle_ = nullptr;
    bool owned_ = false;
};
