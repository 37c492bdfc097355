// Tolvane's entry point: one copy per user, a splash while the catalog opens,
// then the main window and the event loop.

#include "dialog.h"
#include "messagehandler.h"
#include "scaledimages.h"
#include "singleapplication.h"
#include "terminationwatcher.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSplashScreen>

int main(int argc, char **argv)
{
    SingleApplication app(argc, argv);
    MessageHandler::install();

    if (app.isRunning()) {
        app.sendMessage(QStringLiteral("raies"), 5000);
        return 0;
    }

    // The tray keeps the program alive while every window is hidden; Quit and the
    // termination signals end it explicitly.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral("main.ico")));

    // Decoded outside the pixmap cache, so its memory goes with the splash.
    auto splash = new QSplashScreen(QPixmap::fromImage(
        ScaledImages::image(QStringLiteral(":/images/SPLASHSCREEN"), ScaledImages::applicationRatio())));
    splash->show();
    QCoreApplication::processEvents();

    auto window = new Dialog;
    window->setVisible(true);
    QObject::connect(&app, &SingleApplication::messageReceived, window, &Dialog::handleMessage);
    splash->finish(window);
    delete splash;

    // SIGTERM, SIGINT, SIGHUP and the end of the desktop session end the event loop
    // the orderly way, so the catalog is saved as on Quit.
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, &QCoreApplication::quit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager &) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    const int code = app.exec();
    delete window;
    return code;
}
