#include "logview/chart_export.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSaveFile>
#include <QSvgGenerator>

#include "logview/chart_panel.h"

namespace tellumic::logview {

namespace {

constexpr int kCaptionHeight = 28;

QString commit(QSaveFile &file)
{
    if (!file.commit())
        return file.errorString();
    return {};
}

}  // namespace

QSize chartsPictureSize(const std::vector<ChartPanel *> &panels)
{
    int width = 0, height = kCaptionHeight;
    for (const ChartPanel *p : panels) {
        width = std::max(width, p->view()->width());
        height += p->view()->height();
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
