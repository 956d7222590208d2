// The command log's writer: its clock, its file and the words of each outcome.
#include "drive/CommandLog.h"

#include <cstdio>

#include "drive/Scsi.h"
#include "platform/ScsiRequests.h"

CommandLog gCommandLog;

namespace {
#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

const char* AspiStatusName(uint8_t status) {
    switch (status) {
        case kSsPending:
            return "SS_PENDING";
        case kSsComp:
            return "SS_COMP";
        case kSsAborted:
            return "SS_ABORTED";
        case kSsErr:
            return "SS_ERR";
        case kSsInvalidCmd:
            return "SS_INVALID_CMD";
        case kSsInvalidHa:
            return "SS_INVALID_HA";
        case kSsNoDevice:
            return "SS_NO_DEVICE";
        case kSsNoAdapters:
            return "SS_NO_ADAPTERS";
        default:
            return nullptr;
    }
}

std::string Hex2(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}
}  // namespace

std::string DescribeSense(uint8_t key, uint8_t asc, uint8_t ascq) {
    std::string text = "sense " + Hex2(key) + " " + Hex2(asc) + " " + Hex2(ascq) + " ";
    // Byte 2 holds the key in its low half; the high half carries the
    // filemark, end-of-medium and incorrect-length bits.
    text += SenseKeyName(key & 0x0F);
    if (key & 0xF0) text += " (flag bits " + Hex2(key & 0xF0) + ")";
    const char* ascName = AdditionalSenseName(asc, ascq);
    text += ", ";
    text += ascName ? ascName : "unknown additional sense " + Hex2(asc) + "/" + Hex2(ascq);
    return text;
}

void CommandLog::Start(OsCalls& os) {
    os_ = &os;
    frequency_ = 0;
    int64_t frequency = 0, count = 0;
    if (os.QueryPerformanceFrequency(&frequency) && frequency > 0 &&
        os.QueryPerformanceCounter(&count)) {
        frequency_ = frequency;
        startCount_ = count;
    }
    startTicks_ = os.GetTickCount();
}

bool CommandLog::Open(const std::string& path) {
    if (!os_) return false;
    if (file_) os_->CloseHandle(file_);
    file_ = nullptr;
    const uint32_t saved = os_->GetLastError();
    OsHandle file = os_->CreateFileA(path.c_str(), kGenericWrite, kFileShareRead, kOpenAlways,
                                     kFileAttributeNormal);
    bool opened = file && file != InvalidOsHandle();
    if (opened && os_->SetFilePointer(file, 0, kFileEnd) == kInvalidSetFilePointer) {
        os_->CloseHandle(file);
        opened = false;
    }
    os_->SetLastError(saved);
    if (!opened) return false;
    file_ = file;
    path_ = path;
    return true;
}

void CommandLog::Close() {
    if (os_ && file_) os_->CloseHandle(file_);
    file_ = nullptr;
    path_.clear();
    echo_ = nullptr;
    os_ = nullptr;
    roadName.clear();
    systemName.clear();
}

uint64_t CommandLog::Micros() {
    if (!Active()) return 0;
    if (frequency_ > 0) {
        int64_t count = 0;
        if (!os_->QueryPerformanceCounter(&count)) return 0;
        const uint64_t ticks = static_cast<uint64_t>(count - startCount_);
        const uint64_t f = static_cast<uint64_t>(frequency_);
        return ticks / f * 1000000u + ticks % f * 1000000u / f;
    }
    return static_cast<uint64_t>(static_cast<uint32_t>(os_->GetTickCount() - startTicks_)) * 1000u;
}

void CommandLog::Write(const std::string& line, bool echo) {
    if (echo && echo_) echo_(line);
    if (!file_) return;
    const std::string bytes = line + kLineEnd;
    // Logging must not change what the program later reads as the last error.
    const uint32_t saved = os_->GetLastError();
    uint32_t written = 0;
    const bool ok =
        os_->WriteFile(file_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written) &&
        written == bytes.size();
    if (!ok) {
        // A log that cannot be written is left out, without a word.
        os_->CloseHandle(file_);
        file_ = nullptr;
    }
    os_->SetLastError(saved);
}

void CommandLog::Line(const char* kind, const std::string& text) {
    if (!Active()) return;
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f ", static_cast<double>(Micros()) / 1000.0);
    std::string line = std::string(time) + kind + " ";
    for (char c : text) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            continue;
        else
            line += c;
    }
    Write(line, false);
}

void CommandLog::Command(const std::string& address, const uint8_t cdb[12], bool dataIn,
                         uint32_t length, uint64_t startMicros, const CommandOutcome& o) {
    if (!Active()) return;
    const uint64_t end = Micros();
    char head[160];
    int n = std::snprintf(head, sizeof head, "%10.3f cmd %s", static_cast<double>(end) / 1000.0,
                          address.c_str());
    for (int i = 0; i < 12; ++i)
        n += std::snprintf(head + n, sizeof head - size_t(n), " %02X", unsigned(cdb[i]));
    std::snprintf(
        head + n, sizeof head - size_t(n), " %s %lu took %.3f ms: ", dataIn ? "in" : "out",
        static_cast<unsigned long>(length), static_cast<double>(end - startMicros) / 1000.0);
    std::string line = head;

    const bool good =
        o.passThrough ? o.transportOk && o.senseKey == 0 : o.status == kSsComp && o.senseKey == 0;
    if (good) {
        line += "good";
    } else if (!o.transportOk) {
        if (o.passThrough) {
            line += "transport failed, error " + std::to_string(o.error);
            char text[160] = {};
            const uint32_t saved = os_->GetLastError();
            const uint32_t got =
                os_->FormatMessageA(kFormatMessageFromSystem | kFormatMessageIgnoreInserts, o.error,
                                    0, text, sizeof text);
            os_->SetLastError(saved);
            text[sizeof text - 1] = 0;
            std::string words = got ? text : "";
            while (!words.empty() &&
                   (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
                words.pop_back();
            if (!words.empty()) line += " " + words;
        } else {
            line += "no answer in time (SS_PENDING), nothing judged";
        }
    } else {
        const char* statusName =
            o.passThrough ? ScsiStatusName(o.status) : AspiStatusName(o.status);
        line += statusName ? statusName : "unknown status";
        line += " (" + Hex2(o.status) + ")";
        if (o.senseKey || o.asc || o.ascq) line += ", " + DescribeSense(o.senseKey, o.asc, o.ascq);
    }
    Write(line, true);
}
