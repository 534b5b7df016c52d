#pragma once

namespace tellumic {

// Gives the product's drop-down lists an accessible object that screen readers announce by
// the list's caption (its accessible name, or the label it is the buddy of) with what it
// shows as its value. Qt's own object on Linux answers the list's value for its name too, so
// a list captioned "Model" is heard only as "TMC-3Y-400-FT10-L". Safe to call again; every
// window with a drop-down list calls it before building its controls.
void installAccessibleComboBoxes();

}  // namespace tellumic
