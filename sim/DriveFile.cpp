// The drive file of the virtual ASPI layer.
#include "sim/DriveFile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "drive/Scsi.h"

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

using Section = std::map<std::string, std::string>;  // upper-case key -> value

std::map<std::string, Section> ParseIni(const std::string& text) {
    std::map<std::string, Section> sections;
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[') {
            size_t close = t.find(']');
            current = Upper(
                Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            sections[current];
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos || current.empty()) continue;
        std::string key = Upper(Trim(t.substr(0, eq)));
        if (!sections[current].count(key)) sections[current][key] = Trim(t.substr(eq + 1));
    }
    return sections;
}

// Decimal, or hexadecimal with 0x.
bool Number(const std::string& text, uint32_t& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(t.c_str(), &end, 0);
    if (*end) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// A byte written in hexadecimal, with or without 0x.
bool HexByte(const std::string& text, uint8_t& value) {
    std::string t = Trim(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 2) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (*end) return false;
    value = static_cast<uint8_t>(v);
    return true;
}

// Blank-separated hexadecimal bytes.
bool HexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    std::istringstream in(text);
    std::string word;
    bytes.clear();
    while (in >> word) {
        uint8_t b;
        if (!HexByte(word, b)) return false;
        bytes.push_back(b);
    }
    return true;
}

struct Reader {
    const Section& s;
    std::string section;
    std::string* error;
    bool ok = true;

    bool Has(const std::string& key) const { return s.count(Upper(key)) != 0; }
    std::string Text(const std::string& key, const std::string& fallback = "") const {
        auto it = s.find(Upper(key));
        return it == s.end() ? fallback : it->second;
    }
    void Fail(const std::string& key, const std::string& why) {
        if (ok && error) *error = "[" + section + "] " + key + ": " + why;
        ok = false;
    }
    uint32_t Num(const std::string& key, uint32_t fallback) {
        if (!Has(key)) return fallback;
        uint32_t v = 0;
        if (!Number(Text(key), v)) Fail(key, "not a number: " + Text(key));
        return v;
    }
    uint8_t Hex(const std::string& key, uint8_t fallback) {
        if (!Has(key)) return fallback;
        uint8_t v = 0;
        if (!HexByte(Text(key), v)) Fail(key, "not a hexadecimal byte: " + Text(key));
        return v;
    }
    std::vector<uint8_t> Bytes(const std::string& key, size_t count) {
        std::vector<uint8_t> v;
        if (!HexBytes(Text(key), v) || v.size() != count) {
            std::string why = std::to_string(count);
            why.append(" hexadecimal bytes expected: ").append(Text(key));
            Fail(key, why);
        }
        v.resize(count);
        return v;
    }
};

bool ReadEntry(const std::string& name, const Section& s, DriveFileEntry& d, std::string* error) {
    Reader r{s, name, error};
    d.section = name;
    d.hostAdapter = static_cast<uint8_t>(r.Num("HostAdapter", 0));
    d.target = static_cast<uint8_t>(r.Num("Target", 0));
    if (r.Has("Vendor")) d.config.vendor = r.Text("Vendor");
    if (r.Has("Product")) d.config.product = r.Text("Product");
    if (r.Has("Revision")) d.config.revision = r.Text("Revision");
    if (r.Has("FlashId")) {
        auto id = r.Bytes("FlashId", 4);
        for (int i = 0; i < 4; ++i) d.config.flashId[size_t(i)] = id[size_t(i)];
    }
    if (r.Has("Medium")) {
        std::string m = Upper(r.Text("Medium"));
        if (m == "NONE")
            d.config.medium = Medium::None;
        else if (m == "DISC")
            d.config.medium = Medium::Disc;
        else
            r.Fail("Medium", "none or disc expected: " + r.Text("Medium"));
    }
    d.config.becomingReady = r.Num("BecomingReady", 0);
    d.config.peripheralType = static_cast<uint8_t>(r.Num("PeripheralType", 5));
    d.timeoutCompleteAfterMs = r.Num("TimeoutCompleteAfterMs", 0);
    d.commandDelayMs = r.Num("CommandDelayMs", 0);
    if (r.Has("Completion")) {
        std::string c = Upper(r.Text("Completion"));
        if (c == "DEFERRED")
            d.deferredCompletion = true;
        else if (c != "IMMEDIATE")
            r.Fail("Completion", "immediate or deferred expected: " + r.Text("Completion"));
    }
    d.device = r.Text("Device");
    if (r.Has("Letter")) {
        std::string l = Upper(r.Text("Letter"));
        if (l.size() == 2 && l[1] == ':') l.pop_back();
        if (l.size() != 1 || l[0] < 'A' || l[0] > 'Z')
            r.Fail("Letter", "a drive letter A to Z expected: " + r.Text("Letter"));
        else
            d.letter = l[0];
    }

    // Fault groups: the keys below, and the same keys with a suffix 2 to 9
    // for further faults of the same kind (FailOpcode2, FailNth2, ...).
    for (int n = 1; n <= 9; ++n) {
        std::string sfx = n == 1 ? "" : std::to_string(n);
        if (r.Has("FailOpcode" + sfx)) {
            DriveFault f;
            f.kind = DriveFault::Kind::Sense;
            f.opcode = r.Hex("FailOpcode" + sfx, 0);
            f.nth = r.Num("FailNth" + sfx, 1);
            auto sense = r.Has("FailSense" + sfx) ? r.Bytes("FailSense" + sfx, 3)
                                                  : std::vector<uint8_t>{5, 0x24, 0};
            f.key = sense[0];
            f.asc = sense[1];
            f.ascq = sense[2];
            if (r.Has("FailByte" + sfx)) {
                f.matchByte = static_cast<int>(r.Num("FailByte" + sfx, 0));
                f.matchValue = r.Hex("FailValue" + sfx, 0);
            }
            d.faults.push_back(f);
        }
        if (r.Has("TransportFailOpcode" + sfx)) {
            DriveFault f;
            f.kind = DriveFault::Kind::Transport;
            f.opcode = r.Hex("TransportFailOpcode" + sfx, 0);
            f.nth = r.Num("TransportFailNth" + sfx, 1);
            d.faults.push_back(f);
        }
        if (r.Has("TimeoutOpcode" + sfx)) {
            DriveFault f;
            f.kind = DriveFault::Kind::Timeout;
            f.opcode = r.Hex("TimeoutOpcode" + sfx, 0);
            f.nth = r.Num("TimeoutNth" + sfx, 1);
            d.faults.push_back(f);
        }
        if (r.Has("FlipReadBufferNth" + sfx) || r.Has("FlipReadBufferByte" + sfx)) {
            DriveFault f;
            f.kind = DriveFault::Kind::FlipReadBuffer;
            f.opcode = kOpReadBuffer;
            f.nth = r.Num("FlipReadBufferNth" + sfx, 1);
            f.byteIndex = r.Num("FlipReadBufferByte" + sfx, 0);
            f.mask = r.Hex("FlipReadBufferMask" + sfx, 0xFF);
            d.faults.push_back(f);
        }
    }
    return r.ok;
}

// C streams, not file streams: the virtual layer is a Windows DLL, and the
// runtime behind std::fstream imports functions Windows 95 and NT 4.0 lack.
bool ReadText(const std::string& path, std::string& text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    text.clear();
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

bool ParseDriveFile(const std::string& text, std::vector<DriveFileEntry>& drives,
                    std::string* error) {
    drives.clear();
    auto sections = ParseIni(text);
    for (int n = 0;; ++n) {
        std::string name = "DRIVE" + std::to_string(n);
        auto it = sections.find(name);
        if (it == sections.end()) break;
        DriveFileEntry d;
        if (!ReadEntry(name, it->second, d, error)) return false;
        drives.push_back(std::move(d));
    }
    return true;
}

bool ReadDriveFile(const std::string& path, std::vector<DriveFileEntry>& drives,
                   std::string* error) {
    std::string text;
    if (!ReadText(path, text)) {
        if (error) *error = "cannot read " + path;
        drives.clear();
        return false;
    }
    return ParseDriveFile(text, drives, error);
}

bool WriteDriveRevision(const std::string& path, const std::string& section,
                        const std::string& revision) {
    std::string text;
    if (!ReadText(path, text)) return false;
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    const std::string wanted = Upper(section);
    const std::string newLine = "Revision=" + revision;
    bool inSection = false, done = false;
    size_t lastInSection = std::string::npos;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string t = Trim(lines[i]);
        if (!t.empty() && t.front() == '[') {
            if (inSection) break;
            size_t close = t.find(']');
            inSection = Upper(Trim(t.substr(1, close == std::string::npos ? std::string::npos
                                                                          : close - 1))) == wanted;
            if (inSection) lastInSection = i;
            continue;
        }
        if (!inSection) continue;
        if (!t.empty()) lastInSection = i;
        size_t eq = t.find('=');
        if (eq != std::string::npos && t[0] != ';' && Upper(Trim(t.substr(0, eq))) == "REVISION") {
            lines[i] = newLine;
            done = true;
        }
    }
    if (!done) {
        if (lastInSection == std::string::npos) return false;  // no such section
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastInSection) + 1, newLine);
    }
    std::string out;
    for (auto& l : lines) out.append(l).append(eol);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}
