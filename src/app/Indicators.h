#pragma once
// The three pictures of the indicator control page: the receiving phone's
// indicator symbols on its green display, 40 x 20 pixels in 256 colours.
// The labels that show them stretch them to 57 x 25.
#include <QImage>

inline constexpr int kIndicatorWidth = 40;
inline constexpr int kIndicatorHeight = 20;
inline constexpr QRgb kDisplayBackground = 0xFF9CC45A;  // green display
inline constexpr QRgb kDisplayInk = 0xFF1E2E14;         // lit segments

QImage VoiceMailPicture();  // two rings joined at the bottom
QImage FaxPicture();        // the letters FAX
QImage EmailPicture();      // a letter e
