// The form on a terminal: texts printed as they stand, questions read from the input.
#include "host/linux/TerminalForm.h"

#include <cctype>

namespace {
const char* KindName(BoxKind kind) {
    switch (kind) {
        case BoxKind::Warning:
            return "Warning";
        case BoxKind::Confirmation:
            return "Question";
        case BoxKind::Error:
            return "Error";
        case BoxKind::Plain:
            break;
    }
    return "Message";
}

// A box's text as lines: Windows line ends become "\n", and the blank lines
// that open and close most texts are left to the frame.
std::string Displayed(const std::string& text) {
    std::string t;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r') t += text[i];
    size_t b = t.find_first_not_of('\n');
    if (b == std::string::npos) return "";
    size_t e = t.find_last_not_of('\n');
    return t.substr(b, e - b + 1);
}

bool IsYes(std::string answer) {
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
        answer.pop_back();
    size_t b = 0;
    while (b < answer.size() && std::isspace(static_cast<unsigned char>(answer[b]))) ++b;
    answer = answer.substr(b);
    for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
}
}  // namespace

TerminalForm::TerminalForm(FILE* in, FILE* out, bool redraw, bool echo)
    : in_(in), out_(out), redraw_(redraw), echo_(echo) {}

void TerminalForm::Say(const std::string& line) {
    std::lock_guard<std::mutex> hold(lock_);
    EndLineLocked();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

bool TerminalForm::Ask(const std::string& question, std::string& answer) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        EndLineLocked();
        std::fprintf(out_, "%s", question.c_str());
        std::fflush(out_);
    }
    answer.clear();
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') answer += static_cast<char>(c);
    if (c == EOF && answer.empty()) {
        Say("");
        return false;
    }
    if (echo_) Say(answer);
    return true;
}

void TerminalForm::EndLine() {
    std::lock_guard<std::mutex> hold(lock_);
    EndLineLocked();
}

void TerminalForm::EndLineLocked() {
    if (!lineOpen_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    lineOpen_ = false;
}

void TerminalForm::ComboInsert(int index, const std::string& item) {
    if (index < 0 || index > ComboCount()) index = ComboCount();
    combo_.insert(combo_.begin() + index, item);
}

void TerminalForm::ComboDelete(int index) {
    if (index < 0 || index >= ComboCount()) return;
    combo_.erase(combo_.begin() + index);
    if (comboIndex_ >= ComboCount()) comboIndex_ = -1;
}

void TerminalForm::FileListSetItems(const std::vector<std::string>& names) {
    files_ = names;
    fileIndex_ = -1;
}

std::string TerminalForm::FileListItem(int index) {
    return index >= 0 && index < static_cast<int>(files_.size()) ? files_[size_t(index)]
                                                                 : std::string();
}

void TerminalForm::RepaintStatus() {
    std::lock_guard<std::mutex> hold(lock_);
    Draw(true);
}

void TerminalForm::ProgressSetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

void TerminalForm::ProgressSetPosition(int position) {
    position_ = position;
    std::lock_guard<std::mutex> hold(lock_);
    Draw(false);
}

void TerminalForm::ProgressStepIt() {
    position_ += step_;
    if (position_ > maximum_)
        position_ = minimum_ + (position_ - maximum_);  // wraps, as a bar does
    std::lock_guard<std::mutex> hold(lock_);
    Draw(false);
}

void TerminalForm::Draw(bool statusChanged) {
    if (!redraw_) {
        // One line per phase: the status line each time it is shown anew.
        if (statusChanged && !status_.empty() && status_ != printed_) {
            std::fprintf(out_, "%s\n", status_.c_str());
            std::fflush(out_);
            printed_ = status_;
        }
        return;
    }
    if (status_.empty() && !lineOpen_) return;
    // No bar before anything is done: a phase opens, and the flash ends, with
    // the bar back at its start.
    int percent = -1;
    if (maximum_ > minimum_ && position_ > minimum_) {
        long long done = static_cast<long long>(position_) - minimum_;
        if (done < 0) done = 0;
        percent = static_cast<int>(done * 100 / (static_cast<long long>(maximum_) - minimum_));
        if (percent > 100) percent = 100;
    }
    if (!statusChanged && percent == drawnPercent_) return;  // nothing new to show
    drawnPercent_ = percent;
    std::string line = "\r\033[K" + status_;
    if (percent >= 0) {
        constexpr int kWidth = 20;
        line += " [" + std::string(size_t(percent * kWidth / 100), '#') +
                std::string(size_t(kWidth - percent * kWidth / 100), '.') + "] " +
                std::to_string(percent) + "%";
    }
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
    lineOpen_ = true;
    drawnLine_ = line;
    drawnAt_ = std::chrono::steady_clock::now();
    shownSeconds_ = 0;
}

void TerminalForm::Tick(std::chrono::steady_clock::time_point now) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!redraw_ || !lineOpen_) return;
    const long seconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - drawnAt_).count());
    if (seconds < 3 || seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    std::fputs((drawnLine_ + "  " + std::to_string(seconds) + " s").c_str(), out_);
    std::fflush(out_);
}

BoxAnswer TerminalForm::MessageBox(const std::string& text, BoxKind kind, BoxButtons buttons) {
    FILE* out = boxStream ? boxStream : out_;
    BoxAnswer answer = BoxAnswer::Ok;
    {
        std::lock_guard<std::mutex> hold(lock_);
        EndLineLocked();
        std::string shown = Displayed(text);
        if (!pathAlias.first.empty())
            for (size_t at = 0; (at = shown.find(pathAlias.first, at)) != std::string::npos;
                 at += pathAlias.second.size())
                shown.replace(at, pathAlias.first.size(), pathAlias.second);
        if (shown.find('\n') == std::string::npos)
            std::fprintf(out, "[%s] %s\n", KindName(kind), shown.c_str());
        else
            std::fprintf(out, "[%s]\n%s\n", KindName(kind), shown.c_str());
        if (boxNote)
            if (const std::string note = boxNote(text); !note.empty())
                std::fprintf(out, "%s\n", note.c_str());
        std::fflush(out);
    }
    if (buttons == BoxButtons::YesNo) {
        std::string line;
        if (yesToNextQuestion) {
            yesToNextQuestion = false;
            Say("[y/N] y (--yes)");
            answer = BoxAnswer::Yes;
        } else {
            answer = Ask("[y/N] ", line) && IsYes(line) ? BoxAnswer::Yes : BoxAnswer::No;
        }
    }
    boxes.push_back({text, kind, buttons, answer});
    if (buttons == BoxButtons::YesNo && afterQuestion) afterQuestion(answer);
    // The status line under a box is shown anew after it.
    printed_.clear();
    drawnPercent_ = -1;
    return answer;
}
