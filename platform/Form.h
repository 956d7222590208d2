// The form: everything the logic does to the main window and the user.
// WinForm (host/win) drives real controls; tests use a scripted double.
#pragma once
#include <string>
#include <vector>

enum class BoxKind { Plain, Warning, Confirmation, Error };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No, Closed };
enum class CursorKind { Default, Hourglass };

class Form {
  public:
    virtual ~Form() = default;

    virtual void SetCaption(const std::string& text) = 0;  // window caption
    virtual void SetLabel(const std::string& text) = 0;    // SelectDriveLabel

    // ComboBox: drop-down list with an edit field.
    virtual void ComboAdd(const std::string& item) = 0;
    virtual void ComboInsert(int index, const std::string& item) = 0;
    virtual void ComboDelete(int index) = 0;
    virtual int ComboCount() = 0;
    virtual void ComboSetIndex(int index) = 0;  // -1: no selection
    virtual int ComboIndex() = 0;               // -1: no selection
    virtual void ComboRepaint() = 0;

    // FileListBox1: the logic lists the files, the form only shows them.
    virtual void FileListShow(bool visible) = 0;
    virtual void FileListSetItems(const std::vector<std::string>& names) = 0;
    virtual int FileListIndex() = 0;  // -1: no selection
    virtual std::string FileListItem(int index) = 0;

    // GroupBox2's caption is the status line; it is repainted only on request.
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() = 0;
    virtual void RepaintStatus() = 0;
    // The status line will show these texts: make room for the widest now, so
    // the window does not change size while work runs. A status line without
    // a fixed width has nothing to do.
    virtual void FitStatus(const std::vector<std::string>& texts) { (void)texts; }

    virtual void ProgressSetRange(int minimum, int maximum) = 0;
    virtual void ProgressSetPosition(int position) = 0;
    virtual void ProgressSetStep(int step) = 0;
    virtual void ProgressStepIt() = 0;

    virtual void ButtonSetCaption(const std::string& text) = 0;  // FlashButton
    virtual void ButtonEnable(bool enabled) = 0;

    virtual BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) = 0;
    virtual void SetCursor(CursorKind cursor) = 0;
    virtual void PostQuit(int exitCode) = 0;
    virtual void Close() = 0;
};
