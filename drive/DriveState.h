// The drive layer's class-wide state, one copy shared by all drives, and the
// helpers its backends share. Internal to drive/.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ScsiRequests.h"
#include "platform/Form.h"
#include "platform/OsCalls.h"

namespace drive_state {

constexpr uint32_t kInternalBufferLength = 2352;
constexpr uint32_t kIdentifyBufferLength = 256;

extern OsCalls* gOs;
extern Form* gForm;
extern bool gUsePassThrough;
extern bool gReportErrors;
extern bool gUseIdentifyBuffer;
extern uint16_t gLoadedDriveCount;
extern uint16_t gTimeoutSeconds;
extern char gLoadState;
extern OsModule gAspiModule;
extern OsProc gSendEntry;
extern std::string gMessageText;
extern uint8_t* gDataBuffer;
extern uint32_t gDataBufferLength;
extern uint8_t gIdentifyBuffer[kIdentifyBufferLength];
extern uint8_t gInternalBuffer[kInternalBufferLength];

// printf into a text.
std::string Format(const char* format, ...);
// A message box with OK, when a form is attached.
void ShowBox(const std::string& text, BoxKind kind);
// A module handle below 32, compared as a signed 32-bit number, is a failure.
bool ModuleLoaded(OsModule module);
// InitTransport; false when it stopped with a failure code in gLoadState.
bool InitTransport();

// ASPI requests that must outlive their command (see Aspi.cpp); Attach
// orphans them.
void OrphanParkedRequests();

}  // namespace drive_state
