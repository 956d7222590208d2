// A Form that writes every status text, every box with its text and the
// answer given into the command log, and passes everything on unchanged.
#pragma once
#include <string>
#include <vector>

#include "platform/Form.h"

class LoggedForm : public Form {
  public:
    explicit LoggedForm(Form& inner) : inner_(inner) {}

    void SetCaption(const std::string& text) override { inner_.SetCaption(text); }
    void SetLabel(const std::string& text) override { inner_.SetLabel(text); }
    void ComboAdd(const std::string& item) override { inner_.ComboAdd(item); }
    void ComboInsert(int index, const std::string& item) override {
        inner_.ComboInsert(index, item);
    }
    void ComboDelete(int index) override { inner_.ComboDelete(index); }
    int ComboCount() override { return inner_.ComboCount(); }
    void ComboSetIndex(int index) override { inner_.ComboSetIndex(index); }
    int ComboIndex() override { return inner_.ComboIndex(); }
    void ComboRepaint() override { inner_.ComboRepaint(); }
    void FileListShow(bool visible) override { inner_.FileListShow(visible); }
    void FileListSetItems(const std::vector<std::string>& names) override {
        inner_.FileListSetItems(names);
    }
    int FileListIndex() override { return inner_.FileListIndex(); }
    std::string FileListItem(int index) override { return inner_.FileListItem(index); }
    void SetStatus(const std::string& text) override;
    std::string Status() override { return inner_.Status(); }
    void RepaintStatus() override { inner_.RepaintStatus(); }
    void FitStatus(const std::vector<std::string>& texts) override { inner_.FitStatus(texts); }
    void ProgressSetRange(int minimum, int maximum) override {
        inner_.ProgressSetRange(minimum, maximum);
    }
    void ProgressSetPosition(int position) override { inner_.ProgressSetPosition(position); }
    void ProgressSetStep(int step) override { inner_.ProgressSetStep(step); }
    void ProgressStepIt() override { inner_.ProgressStepIt(); }
    void ButtonSetCaption(const std::string& text) override { inner_.ButtonSetCaption(text); }
    void ButtonEnable(bool enabled) override { inner_.ButtonEnable(enabled); }
    BoxAnswer MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) override;
    void SetCursor(CursorKind cursor) override { inner_.SetCursor(cursor); }
    void PostQuit(int exitCode) override { inner_.PostQuit(exitCode); }
    void Close() override { inner_.Close(); }

  private:
    Form& inner_;
};
