// A model of an optical drive that answers 12-byte command blocks: the
// standard commands the program sends, the vendor flash command set, and
// fault injection. Portable: no windows.h. The simulated
// OS (SimOs) serves it natively; the virtual ASPI layer (sim/aspi) serves it
// to the real program under Wine.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum class Medium { None, Disc };

// What the drive did with one command.
struct DriveOutcome {
    enum class Kind {
        Completed,         // status and sense below are the answer
        TransportFailure,  // the transport fails the command: no status, no sense
        TimedOut,          // the command never completes (it was not performed)
    };
    Kind kind = Kind::Completed;
    uint8_t status = 0;               // 0 GOOD, 2 CHECK CONDITION
    std::array<uint8_t, 18> sense{};  // fixed-format sense data (0x70 ...), with CHECK CONDITION
    uint32_t transferred = 0;         // data bytes moved
    uint8_t Key() const { return sense[2]; }
    uint8_t Asc() const { return sense[12]; }
    uint8_t Ascq() const { return sense[13]; }
};

// One injected fault. A command matches when its operation code is `opcode`
// and, when matchByte is 0..11, command byte matchByte equals matchValue (for
// example byte 9, the WRITE BUFFER control byte, or byte 1, the 0xDF
// sub-code). `nth` counts matching commands from 1, from the drive's first
// command on (commands received before the fault was added count too, so a
// fault whose n-th command has passed never fires); nth 0 means every
// matching command from now on.
struct DriveFault {
    enum class Kind {
        Sense,           // answer CHECK CONDITION with key/asc/ascq; the command is not performed
        Transport,       // transport failure (pass-through: ioctl fails; ASPI: SS_ERR, no sense)
        Timeout,         // never completes (ASPI: stays pending; pass-through: ERROR_SEM_TIMEOUT)
        FlipReadBuffer,  // READ BUFFER returns data with byte `byteIndex` XOR `mask`
    };
    Kind kind = Kind::Sense;
    uint8_t opcode = 0;
    uint32_t nth = 1;
    int matchByte = -1;
    uint8_t matchValue = 0;
    uint8_t key = 0, asc = 0, ascq = 0;  // Sense (key unmasked: flag bits allowed, e.g. 0x20)
    uint32_t byteIndex = 0;              // FlipReadBuffer
    uint8_t mask = 0xFF;                 // FlipReadBuffer
    uint32_t seen = 0;                   // matching commands so far (kept by the drive)

    bool Matches(const uint8_t cdb[12]) const {
        return cdb[0] == opcode &&
               (matchByte < 0 || matchByte > 11 || cdb[matchByte] == matchValue);
    }
};

class VirtualDrive {
  public:
    static constexpr uint32_t kBufferMemorySize = 0x80000 + 0x10000;  // image area + profile area
    static constexpr uint32_t kImageArea = 0x80000;                   // the image is searched here
    static constexpr uint32_t kEepromSize = 0x10000;

    struct Config {
        std::string vendor = "NORVEX";  // INQUIRY bytes 8-15, blank-padded (bytes kept as given,
        std::string product = "CDRW-1000";  // bytes 16-31   a zero byte included)
        std::string revision = "1A00";      // bytes 32-35
        std::array<uint8_t, 4> flashId{0xDA, 0xC8, 0x00, 0x00};  // first 4 bytes of DF 11
        Medium medium = Medium::None;
        uint32_t becomingReady = 0;  // TEST UNIT READY answers 02/04/01 this often after a load
        uint8_t peripheralType = 5;  // INQUIRY byte 0 (5: CD/DVD)
        std::string serial = "NX0000000001";  // unit serial number (vital product data page 80)
    };

    VirtualDrive();
    explicit VirtualDrive(Config config);

    Config config;  // may be changed between commands (medium, becomingReady, ...)

    // Runs one command: counts it, applies faults, then performs it. `data`
    // is the transfer area of `length` bytes; dataIn tells the direction.
    // The sense of a command that ends in CHECK CONDITION stays pending for
    // a REQUEST SENSE sent next, as a drive keeps it for a host adapter
    // without autosense (ATAPI: libata fetches it that way); any other
    // command clears it.
    DriveOutcome Execute(const uint8_t cdb[12], bool dataIn, uint8_t* data, uint32_t length);
    // Performs a command without counting it or applying faults (used to
    // complete a timed-out request late).
    DriveOutcome Perform(const uint8_t cdb[12], bool dataIn, uint8_t* data, uint32_t length);

    // Fault injection.
    void AddFault(const DriveFault& fault);
    void FailWithSense(uint8_t opcode, uint32_t nth, uint8_t key, uint8_t asc, uint8_t ascq);
    void FailWithSenseWhen(uint8_t opcode, uint32_t nth, int matchByte, uint8_t matchValue,
                           uint8_t key, uint8_t asc, uint8_t ascq);
    void FailTransport(uint8_t opcode, uint32_t nth);
    void TimeOut(uint8_t opcode, uint32_t nth);
    void FlipReadBuffer(uint32_t nth, uint32_t byteIndex, uint8_t mask = 0xFF);
    void ClearFaults();
    const std::vector<DriveFault>& Faults() const { return faults_; }

    // Counters: every command received by Execute, by operation code.
    uint32_t CommandCount(uint8_t opcode) const;
    uint32_t TotalCommands() const { return totalCommands_; }
    std::vector<std::array<uint8_t, 12>> commands;  // every command block received, in order

    // State.
    std::string Revision() const { return config.revision; }
    std::vector<uint8_t> bufferMemory;  // kBufferMemorySize bytes
    std::vector<uint8_t> eeprom;        // kEepromSize bytes
    uint32_t imageEnd = 0;              // end of the highest data write below kImageArea
    uint32_t becomingReadyLeft = 0;     // pending 02/04/01 answers
    bool entryCritical = false;         // WRITE BUFFER control 0x7F without data received
    bool committed = false;             // a commit (control 0x80 or 0xA0) was received
    uint8_t commitControl = 0;          // the control byte of the last commit
    uint32_t commitCount = 0;
    std::vector<uint8_t> programmedImage;  // buffer memory 0..imageEnd at the last commit
    uint32_t loadCount = 0;                // START STOP UNIT with byte 4 = 03
    bool removalPrevented = false;         // PREVENT ALLOW MEDIUM REMOVAL, prevent bit

    // The 24-character vendor+product identification (INQUIRY bytes 8-31).
    std::string Identification() const;
    // INQUIRY data (96 bytes).
    std::vector<uint8_t> InquiryData() const;

  private:
    DriveOutcome Run(const uint8_t cdb[12], bool dataIn, uint8_t* data, uint32_t length);
    // Data to the host: at most `length` of the `count` bytes given.
    DriveOutcome DataIn(const uint8_t* bytes, uint32_t count, bool dataIn, uint8_t* data,
                        uint32_t length) const;
    // What a real drive without a disc answers to the commands the host's own
    // drivers send (a kernel's scan and CD-ROM driver, media polling): vital
    // product data, the capabilities mode page, configuration, media events,
    // medium removal, and "no medium" for the disc commands
    // (sim/VirtualDriveHostCommands.cpp).
    DriveOutcome VitalProductData(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                  uint32_t length) const;
    DriveOutcome PerformHostCommand(const uint8_t cdb[12], bool dataIn, uint8_t* data,
                                    uint32_t length);
    DriveOutcome Good(uint32_t transferred = 0) const;
    static DriveOutcome Check(uint8_t key, uint8_t asc, uint8_t ascq);
    void Commit(uint8_t control);

    std::vector<DriveFault> faults_;
    std::map<uint8_t, uint32_t> counts_;
    std::array<uint8_t, 18> pendingSense_{};  // all zero: nothing pending
    uint32_t totalCommands_ = 0;
};

// Sense values used by the model.
constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;
