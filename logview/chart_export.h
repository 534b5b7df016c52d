#pragma once

// The visible charts as one picture, for PNG and SVG export.

#include <vector>

#include <QString>

class QPainter;
class QSize;

namespace tellumic::logview {

class ChartPanel;

// The size of the picture: the charts one below the other under a line of caption.
QSize chartsPictureSize(const std::vector<ChartPanel *> &panels);
void paintCharts(QPainter &painter, const std::vector<ChartPanel *> &panels, const QString &caption);

// Write the picture; "" or what went wrong. The file is replaced only when it is complete.
QString savePng(const QString &file, const std::vector<ChartPanel *> &panels, const QString &caption);
QString saveSvg(const QString &file, const std::vector<ChartPanel *> &panels, const QString &caption);

}  // namespace tellumic::logview
