#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

namespace tellumic {

// The stand-alone window: register the plug-in, or deregister it in one of three modes.
// Closing it ends the process.
class RegistrationWindow : public QDialog
{
    Q_OBJECT
public:
    // startedWithCommandLine: registering also installs the bus activation file.
    explicit RegistrationWindow(bool startedWithCommandLine, QWidget *parent = nullptr);

    QComboBox *modeList() const { return m_mode; }

private:
    void deregister();

    QComboBox *m_mode = nullptr;
    QPushButton *m_register = nullptr;
    QPushButton *m_deregister = nullptr;
    QPushButton *m_exit = nullptr;
    bool m_startedWithCommandLine = false;
};

}  // namespace tellumic
