// The command log: one line per command block sent, with its own time and its
// outcome in words, and the run's header, drive list, status texts, boxes and
// answers, appended to a file through OsCalls (and echoed, on Linux, with
// --verbose). One writer and one line format for every road; it never
// changes what is sent or shown, and a file that cannot be opened or written
// is left out silently: the log never stops a flash.
//
// Each line: the time since the log started, in milliseconds with three
// decimals, right-aligned in ten columns; a word for the kind of line; the
// rest. A command's line carries the virtual drive's trace line as it
// stands (address, twelve bytes, direction, length), then its own duration
// and its outcome:
//
//     13.118 cmd D: 3B 05 01 00 00 00 00 40 00 00 00 00 out 16384 took 1.204 ms: good
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/OsCalls.h"

// What a command ended with, as the transport recorded it.
struct CommandOutcome {
    bool passThrough = true;
    bool transportOk = true;  // the ioctl returned non-zero / the request ended in time
    uint8_t status = 0;       // SCSI status (pass-through) or SRB status (ASPI)
    uint8_t senseKey = 0, asc = 0, ascq = 0;
    uint32_t error = 0;  // the system's error code when the transport failed
};

class CommandLog {
  public:
    // Starts the log's clock on this system; the lines that follow are timed from now.
    void Start(OsCalls& os);
    // Appends to the file at path (made when missing); false, and no file,
    // when it cannot be opened.
    bool Open(const std::string& path);
    // Every command line also goes to echo as it is written (--verbose).
    void SetEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }
    // Closes the file and forgets the echo and the system.
    void Close();
    bool Active() const { return os_ && (file_ || echo_); }
    bool HasFile() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }

    // Microseconds since Start on the best clock the system has (0 when not active).
    uint64_t Micros();
    // One line of the given kind; newlines in text are written as "\n".
    void Line(const char* kind, const std::string& text);
    // A command block's line, timed from startMicros (taken with Micros()
    // right before the system call).
    void Command(const std::string& address, const uint8_t cdb[12], bool dataIn, uint32_t length,
                 uint64_t startMicros, const CommandOutcome& outcome);

    // The road, as a front end names it where the drive layer's own name
    // would not say it ("Linux SCSI generic (SG_IO)"); empty: the layer's.
    std::string roadName;
    // The system, as a front end names it; empty: from GetVersionExA.
    std::string systemName;

  private:
    void Write(const std::string& line, bool echo);

    OsCalls* os_ = nullptr;
    OsHandle file_ = nullptr;
    std::string path_;
    std::function<void(const std::string&)> echo_;
    int64_t frequency_ = 0;  // performance counter ticks per second; 0: GetTickCount
    int64_t startCount_ = 0;
    uint32_t startTicks_ = 0;
};

// The outcome of a command in words ("good", "CHECK CONDITION (02), sense
// 05 24 00 ILLEGAL REQUEST, INVALID FIELD IN CDB", ...), as the log writes it.
std::string DescribeSense(uint8_t key, uint8_t asc, uint8_t ascq);

// The one log of this process.
extern CommandLog gCommandLog;
