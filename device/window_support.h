#pragma once

// Helpers that the device window's source files share.

#include "foundation/object_server.h"
#include "model/nv_cp.h"

class QLineEdit;
class QString;
class QWidget;

namespace tellumic {

// A text box the user reads but does not edit (the device's name, the status line, ...).
QLineEdit *readOnlyBox(const QString &name, QWidget *parent);

// The device the window shows; RuntimeError kObjectNotFound while there is none.
lns::AppDevice &currentDevice();

// Value boxes by their control array and element: cp(5) is txtCp element 5.
namespace controls {
inline ControlRef nvi(int i)
{
    return {ControlArray::txtNvi, i};
}
inline ControlRef nvo(int i)
{
    return {ControlArray::txtNvo, i};
}
inline ControlRef cp(int i)
{
    return {ControlArray::txtCp, i};
}
}  // namespace controls

}  // namespace tellumic
