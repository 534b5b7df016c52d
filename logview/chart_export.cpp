#include "logview/chart_export.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSaveFile>
#include <QSvgGenerator>

#include <system_error>

#include "foundation/file_io.h"
#include "logview/chart_panel.h"

namespace tellumic::logview {

namespace {

constexpr int kCaptionHeight = 28;
// A legend row above each chart, as the window shows its check boxes there.
constexpr int kLegendHeight = 20;
constexpr int kSwatchWidth = 18;

QString commit(QSaveFile &file)
{
    if (!file.commit())
        return file.errorString();
    // As every replaced file: the new name is on disk before the export counts as done.
    if (const int err = syncFolderOf(file.fileName().toStdString()))
        return QString::fromStdString(std::error_code(err, std::generic_category()).message());
    return {};
}

// Swatch and name of each entry, left to right.
void paintLegend(QPainter &painter, const QRect &row, const std::vector<LegendEntry> &entries)
{
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(8);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    int x = row.left() + 8;
    const int middle = row.center().y();
    for (const LegendEntry &e : entries) {
        const QRect swatch = e.bar ? QRect(x, middle - 5, kSwatchWidth - 6, 10) : QRect(x, middle - 1, kSwatchWidth - 4, 3);
        if (e.hatched) {
            painter.fillRect(swatch, e.color.lighter(170));
            painter.fillRect(swatch, QBrush(e.color, Qt::BDiagPattern));
        } else {
            painter.fillRect(swatch, e.color);
        }
        x += kSwatchWidth;
        painter.setPen(Qt::black);
        const int width = metrics.horizontalAdvance(e.name);
        painter.drawText(QRect(x, row.top(), width + 2, row.height()), Qt::AlignLeft | Qt::AlignVCenter, e.name);
        x += width + 16;
    }
    painter.restore();
}

}  // namespace

QSize chartsPictureSize(const std::vector<ChartPanel *> &panels)
{
    int width = 0, height = kCaptionHeight;
    for (const ChartPanel *p : panels) {
        width = std::max(width, p->view()->width());
        height += kLegendHeight + p->view()->height();
    }
    return {std::max(width, 1), height};
}

void paintCharts(QPainter &painter, const std::vector<ChartPanel *> &panels, const QString &caption)
{
    const QSize size = chartsPictureSize(panels);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 0, size.width() - 16, kCaptionHeight), Qt::AlignLeft | Qt::AlignVCenter, caption);
    int y = kCaptionHeight;
    for (ChartPanel *p : panels) {
        paintLegend(painter, QRect(0, y, size.width(), kLegendHeight), p->legendEntries());
        y += kLegendHeight;
        const QRect target(0, y, p->view()->width(), p->view()->height());
        p->view()->render(&painter, target, p->view()->viewport()->rect());
        y += target.height();
    }
}

QString savePng(const QString &fileName, const std::vector<ChartPanel *> &panels, const QString &caption)
{
    QImage image(chartsPictureSize(panels), QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        paintCharts(painter, panels, caption);
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return QStringLiteral("the picture could not be encoded as PNG");
    }
    return commit(file);
}

QString saveSvg(const QString &fileName, const std::vector<ChartPanel *> &panels, const QString &caption)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    const QSize size = chartsPictureSize(panels);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(caption);
    {
        QPainter painter;
        if (!painter.begin(&svg))
            return QStringLiteral("the picture could not be drawn as SVG");
        paintCharts(painter, panels, caption);
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(buffer.data()) != buffer.size()) {
        file.cancelWriting();
        return file.errorString();
    }
    return commit(file);
}

}  // namespace tellumic::logview
