#pragma once

class QWidget;

namespace korimado {

// Push buttons, check boxes, tool buttons and pop-ups are clicked, never typed into: they take no
// keyboard focus, so the keys stay with the text, and a wheel turned over a pop-up scrolls what is
// below it instead of changing the choice. Applies to every such control under root now.
void keepFocusOffControls(QWidget* root);

}  // namespace korimado
