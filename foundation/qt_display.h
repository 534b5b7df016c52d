#pragma once

// Starting a Qt application where a display may be missing or out of reach.

#include <memory>
#include <string>

#include <QApplication>

namespace tellumic {

// True when the environment names a display or a Qt platform at all.
bool displayNamed();

// The application for a program that opens windows. When Qt cannot reach the display it
// names, which Qt reports as a fatal message and an abort, the program instead writes
// "<program>: <need> (<Qt's reason>)" to standard error and exits with status 1.
std::unique_ptr<QApplication> startApplication(int &argc, char **argv, std::string program, std::string need);

}  // namespace tellumic
