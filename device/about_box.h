#pragma once

#include <QDialog>

namespace tellumic {

// "About Tellumic Plug-in": the version, the maker and the meters served.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);

    // The text the box shows.
    static QString aboutText();
};

}  // namespace tellumic
