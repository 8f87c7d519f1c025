#pragma once
// Names for assistive technology: every control that takes the focus is read
// by what it is for, not by its value alone.
#include <QString>

class QWidget;

namespace mp {

// Dynamic properties read by the application's accessible factory: a widget
// with kFilterChildren leaves its children marked kNoAccess out of its
// accessible children.
inline constexpr const char* kFilterChildren = "mpFilterChildren";
inline constexpr const char* kNoAccess = "mpNoAccess";

// "&Phone number:" -> "Phone number" ("&&" stays one "&"; a trailing colon goes).
QString StripAccessKey(const QString& text);

// Gives every control of `window` that takes the focus and has no accessible
// name yet the name of its label: the label whose buddy it is, else the
// titled group box around it (check boxes: "Group: Text").
void NameControls(QWidget* window);

}  // namespace mp
