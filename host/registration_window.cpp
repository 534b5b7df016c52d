#include "host/registration_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/plugin_state.h"
#include "foundation/qt_accessible.h"
#include "foundation/trace_log.h"
#include "host/registration.h"

namespace tellumic {

RegistrationWindow::RegistrationWindow(bool startedWithCommandLine, QWidget *parent)
    : QDialog(parent), m_startedWithCommandLine(startedWithCommandLine)
{
    DebugLog("fRegisterPlugIn.Form_Load()");
    setObjectName("fRegisterPlugIn");
    installAccessibleWidgets();
    setWindowTitle(QString::fromLatin1(kPlugInName));
    setAttribute(Qt::WA_DeleteOnClose);

    auto *frame = new QGroupBox(QStringLiteral("Tellumic LNS Plug-In %1").arg(QLatin1String(kPlugInVersion)), this);
    auto *intro = new QLabel(QStringLiteral("Register the plug-in so that LNS host tools offer \"Browse Tellumic\" "
                                            "on Tellumic meters, or remove it again."),
                             frame);
    intro->setWordWrap(true);
    m_mode = new QComboBox(frame);
    m_mode->setObjectName("cmbDeregMode");
    m_mode->addItems({QStringLiteral("Minimal Mode"), QStringLiteral("Complete Mode"), QStringLiteral("Exhaustive Mode")});
    m_mode->setCurrentIndex(1);
    m_mode->setItemData(0, QStringLiteral("Remove the plug-in from this computer only"), Qt::ToolTipRole);
    m_mode->setItemData(1, QStringLiteral("Also remove its command from every network"), Qt::ToolTipRole);
    m_mode->setItemData(2, QStringLiteral("As complete, and offer to delete device templates no device uses"),
                        Qt::ToolTipRole);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Deregistration mode:"), m_mode);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(intro);
    frameLayout->addLayout(form);

    m_register = new QPushButton(QStringLiteral("&Register Plug-in"), this);
    m_register->setObjectName("bRegister");
    m_deregister = new QPushButton(QStringLiteral("&Deregister Plug-in"), this);
    m_deregister->setObjectName("bDeregister");
    m_exit = new QPushButton(QStringLiteral("&Exit"), this);
    m_exit->setObjectName("bExit");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_register);
    buttons->addWidget(m_deregister);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(m_register, &QPushButton::clicked, this, [this] {
        RegisterRegistrationCommand(true, m_startedWithCommandLine);
        close();
    });
    connect(m_deregister, &QPushButton::clicked, this, &RegistrationWindow::deregister);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::close);
}

void RegistrationWindow::deregister()
{
    m_mode->setEnabled(false);
    for (auto *b : {m_register, m_deregister, m_exit})
        b->setEnabled(false);
    repaint();
    DeregisterMe(m_mode->currentIndex() - 1, true);
    m_mode->setEnabled(true);
    for (auto *b : {m_register, m_deregister, m_exit})
        b->setEnabled(true);
    close();
}

}  // namespace tellumic
