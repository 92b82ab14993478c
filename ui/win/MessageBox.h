// Message boxes with the product's caption. Notices and errors have an OK
// button and the information icon; confirmations have Yes and No and the
// question icon. Each runs modally and returns when answered.
//
// owner: the page the box belongs to (modal over it), or nullptr for a box
// that no window owns (the second-instance notice).
// User-interface thread only; a worker asks the page to show the box.
#pragma once

#include <QString>

class QWidget;

namespace win {

inline constexpr const char* kCaption = "Tarnwick v1.0";

void MessageBoxNotice(QWidget* owner, const QString& text);
// True when the user answered Yes.
[[nodiscard]] bool MessageBoxConfirm(QWidget* owner, const QString& text);

}  // namespace win
