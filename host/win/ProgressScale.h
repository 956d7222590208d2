// The progress bar's logical range, position and step, and the values its
// control is given. Common controls 4.00 (Windows 95, NT 4.0) take only a
// 16-bit range, so there positions are scaled into 0..kNarrowMax; the window's
// logic always sees its own, unscaled numbers.
#pragma once
#include <cstdint>

class ProgressScale {
  public:
    // Below 32,768 so no control reads a value as a negative 16-bit number.
    static constexpr int kNarrowMax = 32767;

    explicit ProgressScale(bool wide) : wide_(wide) {}

    void SetRange(int minimum, int maximum) {
        min_ = minimum;
        max_ = maximum > minimum ? maximum : minimum;
        pos_ = Clamp(pos_);
    }
    void SetPosition(int position) { pos_ = Clamp(position); }
    void SetStep(int step) { step_ = step; }
    // As the control's own step: past the maximum it starts over from the minimum.
    void StepIt() {
        int64_t next = int64_t(pos_) + step_;
        if (next > max_) next = min_ + (next - max_);
        pos_ = Clamp64(next);
    }
    int Position() const { return pos_; }

    bool Wide() const { return wide_; }
    int ControlMin() const { return wide_ ? min_ : 0; }
    int ControlMax() const { return wide_ ? max_ : int(NarrowMax()); }
    int ControlPosition() const {
        if (wide_) return pos_;
        const int64_t offset = int64_t(pos_) - min_;
        const int64_t span = Span();
        if (span <= kNarrowMax) return int(offset);
        return int(offset * kNarrowMax / span);
    }

  private:
    int64_t Span() const { return int64_t(max_) - min_; }
    int64_t NarrowMax() const { return Span() <= kNarrowMax ? Span() : kNarrowMax; }
    int Clamp(int value) const { return Clamp64(value); }
    int Clamp64(int64_t value) const {
        return int(value < min_ ? min_ : value > max_ ? max_ : value);
    }

    bool wide_;
    int min_ = 0, max_ = 100, pos_ = 0, step_ = 10;
};
