#pragma once

#include <QDialog>
#include <QString>

// The about window: a thank-you text, the version, and links to the home page and
// the support address. Built once and then only shown and hidden.
class QAboutDlg : public QDialog
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
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int nDragX = 0;
    int nDragY = 0;
};
