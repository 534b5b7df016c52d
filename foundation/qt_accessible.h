#pragma once

namespace tellumic {

// Gives the product's drop-down lists and labels the accessible objects screen readers need
// (accessible_combo_box.h, accessible_label.h): a list is heard by its caption with the entry
// it shows, a named label with what it says. Qt's own objects on Linux answer a list's shown
// entry for its name and a named label's name alone. Safe to call again; every window calls
// it before building its controls, since an object once made for a widget stays.
void installAccessibleWidgets();

}  // namespace tellumic
