// The simulated system's files (the command log's) and its virtual clock.
#include <cstring>

#include "sim/SimOs.h"

OsHandle SimOs::CreatePlainFile(const std::string& name) {
    for (const std::string& folder : readOnlyFolders) {
        if (name.compare(0, folder.size(), folder) == 0) {
            lastError = kErrorAccessDenied;
            return InvalidOsHandle();
        }
    }
    // OPEN_ALWAYS: a file that exists already leaves ERROR_ALREADY_EXISTS.
    lastError = files.count(name) ? kErrorAlreadyExists : kErrorSuccess;
    files[name];
    Object o{Object::Type::File};
    o.file = name;
    return NewHandle(o);
}

bool SimOs::WriteMemoryFile(OsHandle file, const void* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    Object* o = Find(file);
    if (!o || o->type != Object::Type::File) {
        ++badCalls;
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (failWrites) {
        lastError = kErrorNotReady;
        return false;
    }
    files[o->file].append(static_cast<const char*>(data), size);
    if (written) *written = size;
    return true;
}

uint32_t SimOs::SetFilePointer(OsHandle file, int32_t, uint32_t moveMethod) {
    Object* o = Find(file);
    if (!o || o->type != Object::Type::File || moveMethod != kFileEnd) {
        lastError = kErrorInvalidParameter;
        return kInvalidSetFilePointer;
    }
    // Writes append in any case: only the end is asked for.
    return static_cast<uint32_t>(files[o->file].size());
}

uint32_t SimOs::GetTempPathA(uint32_t bufferLength, char* buffer) {
    if (tempPath.empty()) return 0;
    if (!buffer || bufferLength < tempPath.size() + 1)
        return static_cast<uint32_t>(tempPath.size() + 1);
    std::memcpy(buffer, tempPath.c_str(), tempPath.size() + 1);
    return static_cast<uint32_t>(tempPath.size());
}

uint64_t SimOs::ClockMicros() const {
    return (sleptMs + waitedMs) * 1000u + uint64_t(trace.size()) * commandMicros;
}

uint32_t SimOs::GetTickCount() {
    return static_cast<uint32_t>(ClockMicros() / 1000u);
}

bool SimOs::QueryPerformanceCounter(int64_t* count) {
    *count = static_cast<int64_t>(ClockMicros());
    return true;
}

bool SimOs::QueryPerformanceFrequency(int64_t* frequency) {
    *frequency = 1000000;
    return true;
}

void SimOs::GetLocalTime(OsSystemTime& time) {
    time = OsSystemTime{};
    time.wYear = 2026;
    time.wMonth = 1;
    time.wDay = 2;
    time.wHour = 3;
    time.wMinute = 4;
    time.wSecond = 5;
}
