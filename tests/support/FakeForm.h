// Form double: answers message boxes from a script and records every box and
// every change of the window, so tests read as what a person would see.
#pragma once
#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Form.h"

struct ShownBox {
    std::string text;
    BoxKind kind;
    BoxButtons buttons;
};

class FakeForm : public Form {
  public:
    // Answers for the next Yes/No boxes, in order; when empty, Yes/No boxes get `defaultAnswer`.
    std::deque<BoxAnswer> answers;
    BoxAnswer defaultAnswer = BoxAnswer::Yes;

    // Run while a box is up and at each repaint: on Windows both run code
    // that may change the thread's last error (tests set it here).
    std::function<void()> duringBox, duringRepaint;

    std::vector<ShownBox> boxes;
    std::vector<std::string> events;          // every state change, in order
    std::vector<std::string> statusRepaints;  // the status line at each repaint
    // Texts the status line was made room for (FitStatus), and the status
    // texts shown without room made for them first.
    std::vector<std::string> fitted, unfitted;

    std::string caption, label, status;
    std::vector<std::string> combo;
    int comboIndex = -1;
    bool fileListVisible = true;
    std::vector<std::string> files;
    int fileIndex = -1;
    int progressMin = 0, progressMax = 100, progressPos = 0, progressStep = 10;
    std::string buttonCaption = "FLASH";
    bool buttonEnabled = true;
    CursorKind cursor = CursorKind::Default;
    bool quitPosted = false;
    int exitCode = -1;
    bool closed = false;

    void SetCaption(const std::string& t) override {
        caption = t;
        Log("caption", t);
    }
    void SetLabel(const std::string& t) override {
        label = t;
        Log("label", t);
    }

    void ComboAdd(const std::string& s) override {
        combo.push_back(s);
        Log("combo-add", s);
    }
    void ComboInsert(int i, const std::string& s) override {
        combo.insert(combo.begin() + i, s);
        Log("combo-insert", std::to_string(i) + " " + s);
    }
    void ComboDelete(int i) override {
        combo.erase(combo.begin() + i);
        if (comboIndex >= int(combo.size())) comboIndex = -1;
        Log("combo-delete", std::to_string(i));
    }
    int ComboCount() override { return int(combo.size()); }
    void ComboSetIndex(int i) override {
        comboIndex = i;
        Log("combo-index", std::to_string(i));
    }
    int ComboIndex() override { return comboIndex; }
    void ComboRepaint() override {
        Log("combo-repaint", "");
        if (duringRepaint) duringRepaint();
    }

    void FileListShow(bool v) override {
        fileListVisible = v;
        Log("filelist-visible", v ? "1" : "0");
    }
    void FileListSetItems(const std::vector<std::string>& n) override {
        files = n;
        fileIndex = -1;
        Log("filelist-items", std::to_string(n.size()));
    }
    int FileListIndex() override { return fileIndex; }
    std::string FileListItem(int i) override { return files.at(i); }

    void SetStatus(const std::string& t) override {
        status = t;
        if (!t.empty() && std::find(fitted.begin(), fitted.end(), t) == fitted.end())
            unfitted.push_back(t);
        Log("status", t);
    }
    void FitStatus(const std::vector<std::string>& t) override {
        fitted.insert(fitted.end(), t.begin(), t.end());
    }
    std::string Status() override { return status; }
    void RepaintStatus() override {
        statusRepaints.push_back(status);
        if (duringRepaint) duringRepaint();
    }

    void ProgressSetRange(int mn, int mx) override {
        progressMin = mn;
        progressMax = mx;
    }
    void ProgressSetPosition(int p) override { progressPos = p; }
    void ProgressSetStep(int s) override { progressStep = s; }
    void ProgressStepIt() override {
        progressPos += progressStep;
        if (progressPos > progressMax) progressPos = progressMin + (progressPos - progressMax);
    }

    void ButtonSetCaption(const std::string& t) override {
        buttonCaption = t;
        Log("button", t);
    }
    void ButtonEnable(bool e) override {
        buttonEnabled = e;
        Log("button-enabled", e ? "1" : "0");
    }

    BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) override {
        boxes.push_back({text, kind, buttons});
        Log("box", text);
        if (duringBox) duringBox();
        if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
        if (answers.empty()) return defaultAnswer;
        BoxAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    void SetCursor(CursorKind c) override {
        cursor = c;
        Log("cursor", c == CursorKind::Hourglass ? "hourglass" : "default");
    }
    void PostQuit(int code) override {
        quitPosted = true;
        exitCode = code;
        Log("quit", std::to_string(code));
    }
    void Close() override {
        closed = true;
        Log("close", "");
    }

    // Texts of the boxes shown, in order.
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> t;
        for (auto& b : boxes) t.push_back(b.text);
        return t;
    }

  private:
    void Log(const char* what, const std::string& v) {
        events.push_back(std::string(what) + ": " + v);
    }
};
