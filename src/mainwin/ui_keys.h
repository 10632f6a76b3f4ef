// The keys of a dialog, for the secondary windows of the program.
#pragma once

class QPushButton;
class QWidget;

namespace ui {

// Esc clicks cancel (closes the window when cancel is null) and Enter clicks ok (nothing when ok
// is null), unless the control with the focus takes the key itself; Enter on a button with the
// focus clicks that button.
void dialogKeys(QWidget *window, QPushButton *ok, QPushButton *cancel);

} // namespace ui
