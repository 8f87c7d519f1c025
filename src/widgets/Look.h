#pragma once
// The shared look of the forms: fonts, pictures, hint timing, painted shapes
// and how a dialog is shown modally.
#include <QColor>
#include <QFont>
#include <QIcon>
#include <functional>

class QWidget;
class QDialog;

namespace mp {

// "MS Sans Serif" with a character height of 11 pixels: a sans serif face.
QFont FormFont();
// "Arial Rounded MT Bold" at the given character height in pixels, bold:
// a rounded bold face where one is installed, else a sans serif bold.
QFont TitleFont(int pixelHeight);
// "System" at 12 points: the message font before the user picks one.
QFont DefaultMessageFont();

enum class ActionPicture { Send, Sim, Phone, Paste, Find, Ok, Cancel, More };
QIcon ActionIcon(ActionPicture picture);

// Puts the application's style under a thin layer of ours (see Look.cpp);
// called once, after the application object is made and before any window.
void UseLookStyle();

// Hints of `window` and of every control in it stay ten seconds.
void SetHintHidePause(QWidget* window);

// Paints `w` as a filled shape of `colour` (a rounded rectangle when radius
// > 0) instead of its own background. Cheaper at start-up than style sheets.
void PaintShape(QWidget* w, const QColor& colour, int radius);

// Runs `then` once, just after the first paint of `w`: for what the user
// cannot see in the first frame (a window icon, a warm-up).
void AfterFirstPaint(QWidget* w, std::function<void()> then);

// Shows a dialog modally through the questions in force (widgets/Questions.h)
// and returns its result (QDialog::Accepted or Rejected).
int ShowModal(QDialog* dialog);

}  // namespace mp
