// The main window's layout: the designed positions and sizes of its controls
// and how they grow when a text does not fit. The design is the minimum:
// controls only ever grow, and the window with them. Widths grow together
// (label, combo box, file list and group box keep their right margins, the
// button stays at the group box's right end); a label that needs more lines
// pushes everything below it down. Window-free, so the arithmetic is tested
// natively; host/win measures the texts and moves the controls.
#pragma once

struct LayoutRect {
    int left, top, width, height;
};

class WindowLayout {
  public:
    // The designed client area (Panel1) and controls, in pixels.
    static constexpr int kClientWidth = 425, kClientHeight = 201;
    static constexpr LayoutRect kLabel{16, 16, 369, 25};
    static constexpr LayoutRect kCombo{16, 40, 385, 24};
    static constexpr LayoutRect kFileList{16, 72, 385, 41};
    static constexpr LayoutRect kGroup{16, 128, 385, 49};
    // Inside the group box, relative to it.
    static constexpr LayoutRect kProgress{8, 16, 305, 25};
    static constexpr LayoutRect kButton{320, 16, 57, 25};
    // The label's room above the combo box: one line of the window's font.
    static constexpr int kLabelRoom = kCombo.top - kLabel.top;

    // The widest client area the screen allows; growth stops there.
    explicit WindowLayout(int widestClient = 1 << 20) : widestClient_(widestClient) {}

    // Grow so that `needed` pixels fit the label's width, or the width of the
    // combo box, file list and group box. False when nothing changed.
    bool FitLabelWidth(int needed) { return Widen(needed - kLabel.width); }
    bool FitWideControls(int needed) { return Widen(needed - kCombo.width); }
    // Grow so that a label text of `needed` pixels' height fits above the
    // combo box. False when nothing changed.
    bool FitLabelHeight(int needed) {
        const int grow = needed - kLabelRoom;
        if (grow <= extraHeight_) return false;
        extraHeight_ = grow;
        return true;
    }

    int ExtraWidth() const { return extraWidth_; }
    int ExtraHeight() const { return extraHeight_; }
    int ClientWidth() const { return kClientWidth + extraWidth_; }
    int ClientHeight() const { return kClientHeight + extraHeight_; }

    LayoutRect Label() const {
        return {kLabel.left, kLabel.top, kLabel.width + extraWidth_, kLabel.height + extraHeight_};
    }
    LayoutRect Combo() const { return Below(kCombo); }
    LayoutRect FileList() const { return Below(kFileList); }
    LayoutRect Group() const { return Below(kGroup); }
    // Panel coordinates, as the controls are the panel's children.
    LayoutRect Progress() const {
        const LayoutRect group = Group();
        return {group.left + kProgress.left, group.top + kProgress.top,
                kProgress.width + extraWidth_, kProgress.height};
    }
    LayoutRect Button() const {
        const LayoutRect group = Group();
        return {group.left + kButton.left + extraWidth_, group.top + kButton.top, kButton.width,
                kButton.height};
    }

  private:
    bool Widen(int grow) {
        const int room = widestClient_ - kClientWidth;
        if (grow > room) grow = room;
        if (grow <= extraWidth_) return false;
        extraWidth_ = grow;
        return true;
    }
    LayoutRect Below(const LayoutRect& r) const {
        return {r.left, r.top + extraHeight_, r.width + extraWidth_, r.height};
    }

    int widestClient_;
    int extraWidth_ = 0;
    int extraHeight_ = 0;
};
