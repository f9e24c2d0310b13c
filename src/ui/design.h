#pragma once

// The update window as it was designed, at 96 DPI: the numbers every toolkit window lays its
// controls out by, kept in one place so that the windows cannot come to differ.

namespace norvane::ui::design {

/// A control's place in its panel: left, top, width, height.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    constexpr int Right() const { return left + width; }
    constexpr int Bottom() const { return top + height; }
};

/// The client area.
inline constexpr int Width = 635;
inline constexpr int Height = 456;

// The panels docked to the bottom edge, from the top: Panel3 (the two version rows), plUp
// (the progress panel), Panel2 (the buttons). plInfo takes what is left above them.
inline constexpr int Panel3Height = 46;
inline constexpr int plUpHeight = 112;
inline constexpr int Panel2Height = 42;
inline constexpr int BottomPanelsHeight = Panel3Height + plUpHeight + Panel2Height;
/// Panel3's raised bevel insets the rows docked inside it (Panel4, Panel5) by this much.
inline constexpr int Panel3Bevel = 1;
inline constexpr int VersionRowHeight = 22;

// In plInfo: the memo, anchored to all four sides.
inline constexpr Box Memo2{46, 22, 564, 219};
// In the version rows: the captions and the fixed, right-justified version boxes.
inline constexpr int Label1Left = 16;
inline constexpr int Label1Top = 6;
inline constexpr Box lCurVer{143, 5, 191, 13};
inline constexpr Box lActVer{143, 6, 191, 13};
// In plUp: the labels, sized to their text, and the bar, anchored left, top and right.
inline constexpr int LabelHeight = 13;
inline constexpr int plUpLeft = 17;
inline constexpr int lUpdateTop = 24;
inline constexpr Box ProgressBar2{17, 40, 604, 17};
inline constexpr int lTextFileTop = 64;
inline constexpr int lFileTop = 80;
/// lUpdateTime's right edge, level with the bar's, stays put as its text changes.
inline constexpr int lUpdateTimeTop = 21;
// In Panel2: the buttons, anchored top and right.
inline constexpr Box btOK{467, 9, 75, 25};
inline constexpr Box btCancel{555, 9, 75, 25};

// What the anchored controls keep to the right and bottom edges as the window is resized.
inline constexpr int MemoRightGap = Width - Memo2.Right();
inline constexpr int MemoBottomGap = (Height - BottomPanelsHeight) - Memo2.Bottom();
inline constexpr int ProgressRightGap = Width - ProgressBar2.Right();
inline constexpr int TimeRightGap = ProgressRightGap;
inline constexpr int OKRightGap = Width - btOK.left;
inline constexpr int CancelRightGap = Width - btCancel.left;

} // namespace norvane::ui::design
