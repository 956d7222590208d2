// A console check of the drive scan with the real Windows seam: constructs
// CDDrives, prints each drive's DisplayLine, one per line, and a summary.
// Message boxes go to standard output as one line each, "BOX(<kind>): "
// followed by the text with line ends written as \n; every box is answered
// Ok (Yes for a Yes/No box).
//
// Environment:
//   NORVEX_SCANCHECK_TIMEOUT   command time-out in seconds (default 60)
//   NORVEX_SCANCHECK_LINGER_MS after the listing, wait this long and list
//                              every drive's DisplayLine again ("again: " lines)
//   NORVEX_SCANCHECK_FLASH     four characters: download a 16 KiB image holding
//                              the first drive's identification followed by
//                              them, commit it (control 0x80), and print
//                              "flashed: " with the drive's fresh DisplayLine
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drive/CDDrives.h"
#include "drive/DriveDataBuffer.h"
#include "platform/Form.h"
#include "host/win/WinOsCalls.h"

namespace {

class ConsoleForm : public Form {
  public:
    void SetCaption(const std::string&) override {}
    void SetLabel(const std::string&) override {}
    void ComboAdd(const std::string&) override {}
    void ComboInsert(int, const std::string&) override {}
    void ComboDelete(int) override {}
    int ComboCount() override { return 0; }
    void ComboSetIndex(int) override {}
    int ComboIndex() override { return -1; }
    void ComboRepaint() override {}
    void FileListShow(bool) override {}
    void FileListSetItems(const std::vector<std::string>&) override {}
    int FileListIndex() override { return -1; }
    std::string FileListItem(int) override { return ""; }
    void SetStatus(const std::string& t) override { status_ = t; }
    std::string Status() override { return status_; }
    void RepaintStatus() override {}
    void ProgressSetRange(int, int) override {}
    void ProgressSetPosition(int) override {}
    void ProgressSetStep(int) override {}
    void ProgressStepIt() override {}
    void ButtonSetCaption(const std::string&) override {}
    void ButtonEnable(bool) override {}
    BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) override {
        static const char* kinds[] = {"Plain", "Warning", "Confirmation", "Error"};
        std::string escaped;
        for (char c : text) {
            if (c == '\n')
                escaped += "\\n";
            else if (c == '\r')
                escaped += "\\r";
            else
                escaped += c;
        }
        std::printf("BOX(%s): %s\n", kinds[static_cast<int>(kind)], escaped.c_str());
        std::fflush(stdout);
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Yes;
    }
    void SetCursor(CursorKind) override {}
    void PostQuit(int) override {}
    void Close() override {}

  private:
    std::string status_;
};

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    return std::strtol(v, nullptr, 10);
}

}  // namespace

int main() {
    WinOsCalls os;
    ConsoleForm form;
    CDDrive::Attach(&os, &form);
    CDDrive::SetTimeout(static_cast<uint16_t>(EnvNumber("NORVEX_SCANCHECK_TIMEOUT", 60)));

    CDDrives drives;
    for (int i = 0; i < drives.Count(); ++i)
        std::printf("%s\n", drives.Drives[i]->DisplayLine().c_str());
    std::fflush(stdout);

    const char* flash = std::getenv("NORVEX_SCANCHECK_FLASH");
    auto data = std::make_unique<DriveDataBuffer>();
    if (flash && std::strlen(flash) == 4 && drives.Count() > 0) {
        CDDrive& d = *drives.Current;
        CDDrive::SetDataBuffer(data->bytes, sizeof data->bytes);
        std::memset(data->bytes, 0xFF, sizeof data->bytes);
        std::string text = d.ProductId() + flash;
        std::memcpy(data->bytes + 0x100, text.data(), text.size());
        d.Execute(0x3B, 0x05, 0x01, 0, 0, 0, 0x00, 0x40, 0x00, 0x00, 0, 0, kDataOut, 16384);
        bool written = d.SenseIs(0, 0, 0) && d.TransportOk();
        d.Execute(0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, kDataIn, 16);
        bool committed = d.SenseIs(0, 0, 0) && d.TransportOk();
        std::printf("flashed: %s %s %s\n", written ? "written" : "write-failed",
                    committed ? "committed" : "commit-failed", d.DisplayLine().c_str());
    }

    long linger = EnvNumber("NORVEX_SCANCHECK_LINGER_MS", 0);
    if (linger > 0) {
        os.Sleep(static_cast<uint32_t>(linger));
        for (int i = 0; i < drives.Count(); ++i)
            std::printf("again: %s\n", drives.Drives[i]->DisplayLine().c_str());
    }
    char state = CDDrive::LoadState();
    std::printf("# drives: %d, transport: %s, LoadState: 0x%02X\n", drives.Count(),
                CDDrive::UsePassThrough() ? "pass-through" : "ASPI",
                static_cast<unsigned char>(state));
    std::fflush(stdout);
    return 0;
}
