#pragma once

#include "framelessdialog.h"

#include <QString>

// The about window: a thank-you text, the version, and links to the home page and
// the support address. Built once and then only shown and hidden.
class QAboutDlg : public FramelessDialog
{
    Q_OBJECT

public:
    explicit QAboutDlg(QWidget *parent = nullptr);

    static const char *const HomePageUrl;
    static const char *const SupportMail;

public slots:
    void OpenHomePage(QString strUrl);
    void OpenEmail(QString strUrl);

protected:
private:
};
