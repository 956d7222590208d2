// The form on a terminal: every text the logic shows is printed as it
// stands, framed only by a box kind prefix, "[y/N]" for a question and
// numbers for list items; the status line and the progress bar redraw in
// place on a terminal and print one line per phase elsewhere.
#pragma once
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Form.h"

class TerminalForm : public Form {
  public:
    // redraw: the output is a terminal, so the status line redraws in place;
    // echo: the input is no terminal, so each answer read is printed after
    // its question (a transcript reads as a session).
    TerminalForm(FILE* in, FILE* out, bool redraw, bool echo = false);

    struct Box {
        std::string text;
        BoxKind kind;
        BoxButtons buttons;
        BoxAnswer answer;
    };
    std::vector<Box> boxes;  // every box shown, with its answer
    // Answers Yes to the next question (--yes: the warning and the flash
    // prompt), and says so; reset once used.
    bool yesToNextQuestion = false;
    // Runs once a question has its answer, before the logic goes on.
    std::function<void(BoxAnswer)> afterQuestion;
    // A line of the front end's own printed right after a box, on the box's
    // stream (Linux words for what the box says in Windows words); "" for none.
    std::function<std::string(const std::string& text)> boxNote;
    // (from, to): a directory written as another in the texts of boxes.
    std::pair<std::string, std::string> pathAlias;
    // Boxes go to this stream instead (the drive listing keeps its output clean).
    FILE* boxStream = nullptr;

    bool QuitPosted() const { return quitPosted_; }
    bool Closed() const { return closed_; }
    const std::vector<std::string>& ComboItems() const { return combo_; }
    const std::vector<std::string>& FileItems() const { return files_; }
    bool ButtonEnabled() const { return buttonEnabled_; }
    const std::string& Label() const { return label_; }
    const std::string& WindowCaption() const { return caption_; }
    void FileListSetIndex(int index) { fileIndex_ = index; }

    // Framing of the front end: a line of its own, a question answered by
    // one line of input (false at the end of the input).
    void Say(const std::string& line);
    bool Ask(const std::string& question, std::string& answer);
    // Ends a progress line that is being redrawn.
    void EndLine();
    // Called about once a second from another thread during long work: on a
    // terminal, a status line that has not changed for 3 s or more shows how
    // long it has stood, so a long command (the commit) does not look hung.
    void Tick() { Tick(std::chrono::steady_clock::now()); }
    void Tick(std::chrono::steady_clock::time_point now);

    void SetCaption(const std::string& text) override { caption_ = text; }
    void SetLabel(const std::string& text) override { label_ = text; }
    void ComboAdd(const std::string& item) override { combo_.push_back(item); }
    void ComboInsert(int index, const std::string& item) override;
    void ComboDelete(int index) override;
    int ComboCount() override { return static_cast<int>(combo_.size()); }
    void ComboSetIndex(int index) override { comboIndex_ = index; }
    int ComboIndex() override { return comboIndex_; }
    void ComboRepaint() override {}
    void FileListShow(bool visible) override { fileListVisible_ = visible; }
    void FileListSetItems(const std::vector<std::string>& names) override;
    int FileListIndex() override { return fileIndex_; }
    std::string FileListItem(int index) override;
    void SetStatus(const std::string& text) override { status_ = text; }
    std::string Status() override { return status_; }
    void RepaintStatus() override;
    void ProgressSetRange(int minimum, int maximum) override;
    void ProgressSetPosition(int position) override;
    void ProgressSetStep(int step) override { step_ = step; }
    void ProgressStepIt() override;
    void ButtonSetCaption(const std::string& text) override { buttonCaption_ = text; }
    void ButtonEnable(bool enabled) override { buttonEnabled_ = enabled; }
    BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) override;
    void SetCursor(CursorKind) override {}
    void PostQuit(int) override { quitPosted_ = true; }
    void Close() override { closed_ = true; }

  private:
    void Draw(bool statusChanged);  // called with lock_ held
    void EndLineLocked();

    FILE* in_;
    FILE* out_;
    bool redraw_;
    bool echo_;
    std::mutex lock_;  // a line announced from another thread (a held signal)
    std::string caption_, label_, status_, buttonCaption_ = "FLASH";
    std::vector<std::string> combo_, files_;
    int comboIndex_ = -1, fileIndex_ = -1;
    bool fileListVisible_ = true, buttonEnabled_ = true;
    int minimum_ = 0, maximum_ = 100, position_ = 0, step_ = 10;
    bool lineOpen_ = false;  // a redrawn line is on the screen, not yet ended
    std::string printed_;    // the status last printed (one line per phase)
    int drawnPercent_ = -1;
    std::string drawnLine_;  // the line last drawn, without the time it has stood
    std::chrono::steady_clock::time_point drawnAt_{};
    long shownSeconds_ = 0;
    bool quitPosted_ = false, closed_ = false;
};
