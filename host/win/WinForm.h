// The main window on real Win32 controls: FlashForm with its panel, label,
// combo box, file list, group box (status line), progress bar and button.
// WinForm.cpp makes the window and runs the handlers; WinFormControls.cpp
// holds the Form calls.
#pragma once
#include <windows.h>
// Form::MessageBox keeps its own name here.
#undef MessageBox

#include <functional>
#include <string>
#include <vector>

#include "platform/Form.h"
#include "host/win/ProgressScale.h"
#include "host/win/WindowLayout.h"
#include "host/win/Focus.h"
#include "host/win/LongWork.h"

// Control IDs; tests/e2e/win/clicker.cpp finds the controls by them.
enum : int {
    kIdPanel = 100,
    kIdLabel = 101,
    kIdCombo = 102,
    kIdFileList = 103,
    kIdGroup = 104,
    kIdProgress = 105,
    kIdButton = 106,
};

constexpr const char* kMainWindowClass = "TFlashForm";
constexpr int kComboListHeight = 160;  // the combo box's drop-down list
constexpr DWORD kMainWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

class WinForm : public Form {
  public:
    WinForm() = default;
    ~WinForm() override;
    WinForm(const WinForm&) = delete;
    WinForm& operator=(const WinForm&) = delete;

    // Registers the classes and creates the window with every control, hidden.
    bool Create(HINSTANCE instance, const char* title);
    // Shows the window with the combo box focused.
    void Show(int showCommand);
    HWND Window() const { return window_; }
    bool QuitPosted() const { return quitPosted_; }

    // What the controls' events run; set before Show.
    std::function<void()> OnComboChange, OnFileClick, OnButtonClick, OnDestroy;
    // What the button's handler does, as the shut-down screen names it (a
    // flash or a build): long work, during which the session may not end and
    // the system may not sleep. Null: the button's work is not guarded.
    const wchar_t* ButtonWork = nullptr;

    // Runs one handler; exclusive ones are dropped while another is running.
    // A close request (or Close) while a handler runs is carried out once the
    // outermost handler has returned, so FormDestroy never runs under one.
    // longWork: the reason, when the handler is long work (see ButtonWork).
    void Run(const std::function<void()>& handler, bool exclusive = true,
             const wchar_t* longWork = nullptr);

    void SetCaption(const std::string& text) override;
    void SetLabel(const std::string& text) override;

    void ComboAdd(const std::string& item) override;
    void ComboInsert(int index, const std::string& item) override;
    void ComboDelete(int index) override;
    int ComboCount() override;
    void ComboSetIndex(int index) override;
    int ComboIndex() override;
    void ComboRepaint() override;

    void FileListShow(bool visible) override;
    void FileListSetItems(const std::vector<std::string>& names) override;
    int FileListIndex() override;
    std::string FileListItem(int index) override;

    void SetStatus(const std::string& text) override;
    std::string Status() override;
    void RepaintStatus() override;
    void FitStatus(const std::vector<std::string>& texts) override;

    void ProgressSetRange(int minimum, int maximum) override;
    void ProgressSetPosition(int position) override;
    void ProgressSetStep(int step) override;
    void ProgressStepIt() override;

    void ButtonSetCaption(const std::string& text) override;
    void ButtonEnable(bool enabled) override;

    BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) override;
    void SetCursor(CursorKind cursor) override;
    void PostQuit(int exitCode) override;
    void Close() override;

  private:
    // Texts that fit (WinFormFit.cpp): each measured in its control's font;
    // the layout grows until it fits, and the controls and window follow.
    void FitLabel(const std::string& text);
    void FitWide(HWND control, const std::vector<std::string>& texts);
    void ApplyLayout();
    void ShowPainted();
    void SendProgress(bool range);
    static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code);
    bool SetCursorFor(LPARAM lParam);
    HWND Control(const char* windowClass, const char* text, DWORD style, DWORD exStyle,
                 const LayoutRect& area, int id);

    HINSTANCE instance_ = nullptr;
    std::string title_;
    HWND window_ = nullptr;
    HWND panel_ = nullptr;
    HWND label_ = nullptr;
    HWND combo_ = nullptr;
    HWND fileList_ = nullptr;
    HWND group_ = nullptr;
    HWND progress_ = nullptr;
    HWND button_ = nullptr;
    HFONT font_ = nullptr;
    WindowLayout layout_;
    HCURSOR cursor_ = nullptr;
    HCURSOR arrow_ = nullptr;
    FocusKeeper focus_;  // the control that had the focus when the window was left
    LongWork longWork_;
    bool quitPosted_ = false;
    bool running_ = false;
    bool closePending_ = false;
    ProgressScale progressScale_{true};
};
