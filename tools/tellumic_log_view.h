#pragma once

#include <string>
#include <vector>

namespace tellumic {

// tellumic-log view FILE.csv: the log viewer window on a CSV log file. Checks the file and
// the display before it makes a QApplication, so the tool's other commands never need one.
int runLogView(const std::vector<std::string> &args, int &argc, char **argv);

}  // namespace tellumic
