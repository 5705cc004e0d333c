#pragma once

#include <QFont>

namespace ondril {

// The window's fonts. SimSun and "MS Sans Serif" are Windows fonts; substitutes
// of similar metrics stand in for them where they are not installed.
enum class FontKey {
    W,   // SimSun 12 pt: the window and the check boxes
    B,   // SimSun 12 pt bold: the buttons
    M13, // MS Sans Serif 13.5 pt
    M12, // MS Sans Serif 12 pt
    M10, // MS Sans Serif 9.75 pt
};

void installFontSubstitutes();
QFont formFont(FontKey key);

} // namespace ondril
