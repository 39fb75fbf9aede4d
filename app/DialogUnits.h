#pragma once
// The window layouts are drawn in dialog units, the unit the layouts were designed in. One
// factor turns them into pixels for every window, together with fonts given in pixels, so the
// result is the same on every screen and under the offscreen platform.
//
// kPixelsPerDialogUnit = 1.75: a dialog unit is a quarter of the face's average character width
// horizontally and an eighth of its line height vertically. DejaVu Sans at 11 px averages
// 6.8 px per character and 13 px per line, i.e. 1.70 and 1.63 px per unit; 1.75 leaves the
// captions a little air in both directions with the wider face.
#include <QFont>

class QWidget;

namespace zrk {

inline constexpr double kPixelsPerDialogUnit = 1.75;

// Every window's interface face and the fixed-pitch face of the sector list and the release
// notes, asked for by name so Qt does not substitute a face that is not fixed-pitch.
inline constexpr int kSansPixelSize = 11;
inline constexpr int kFixedPixelSize = 11;
QFont sansFont();
QFont fixedFont(int pixelSize = kFixedPixelSize);

int dialogUnitsToPixels(int units);

// Scales the geometry of the window and of each of its descendants from dialog units to pixels
// and fixes the window's size.
void applyDialogUnits(QWidget* window);

}  // namespace zrk
