#include "device/about_box.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"
#include "model/product_tables.h"

namespace tellumic {

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    DebugLog("fAbout.Form_Load()");
    setObjectName("fAbout");
    setWindowTitle(QStringLiteral("About Tellumic Plug-in"));
    auto *text = new QPlainTextEdit(aboutText(), this);
    text->setObjectName("txtAbout");
    text->setReadOnly(true);
    text->setAccessibleName(QStringLiteral("About"));
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setMinimumSize(460, 300);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

QString AboutBox::aboutText()
{
    QStringList lines;
    lines << QStringLiteral("Tellumic LNS Plug-in, Version: ") + QString::fromLatin1(kPlugInVersion);
    lines << QString::fromLatin1(kManufacturerName);
    lines << QStringLiteral("Manufacturer ID: ") + QString::fromLatin1(kManufacturerId);
    lines << QString();
    lines << QStringLiteral("Works with Tellumic models:");
    lines << QString(50, QLatin1Char('-'));
    for (const auto &meter : supportedMeters())
        lines << QString::fromStdString(meter.Model).leftJustified(22) + QStringLiteral("program ID ") +
                     QString::fromStdString(meter.ProgramId);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace tellumic
