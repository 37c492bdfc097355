// Tolvane's entry point: one copy per user, a splash while the catalog opens,
// then the main window and the event loop.

#include "dialog.h"
#include "messagehandler.h"
#include "paintlog.h"
#include "searchlineedit.h"
#include "singleapplication.h"
#include "terminationwatcher.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSessionManager>
#include <QSplashScreen>

int main(int argc, char **argv)
{
    SingleApplication app(argc, argv);
    MessageHandler::install();

    if (app.isRunning()) {
        app.sendMessage(QStringLiteral("raies"), 5000);
        return 0;
    }

    // SIGTERM, SIGINT and SIGHUP end the run the orderly way from here on, also
    // while the window is still being built (a first run's scan), so that the
    // catalog is saved as on Quit.
    TerminationWatcher termination;
    bool ending = false;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, [&ending] {
        ending = true;
        QCoreApplication::quit();
    });

    // The tray keeps the program alive while every window is hidden; Quit and the
    // termination signals end it explicitly.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral("main.ico")));

    // Decoded outside the pixmap cache, so its memory goes with the splash.
    auto splash = new QSplashScreen(QPixmap::fromImage(QImage(QStringLiteral(":/images/SPLASHSCREEN"))));
    splash->show();
    QCoreApplication::processEvents();

    auto window = new Dialog;
    // A session manager's save saves the catalog and the program goes on; the end
    // of the session ends the event loop (Qt's own handling), which saves as Quit.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, window,
        [window](QSessionManager &) { window->edtSearch->catalog.SaveNow(); }, Qt::DirectConnection);
    if (!ending) {
        PaintLog::installOn(window);
        window->setVisible(true);
        QObject::connect(&app, &SingleApplication::messageReceived, window, &Dialog::handleMessage);
        splash->finish(window);
    }
    delete splash;

    // A request to end that came while the window was built (quit() does nothing
    // before the event loop runs) skips the loop.
    const int code = ending ? 0 : app.exec();
    delete window;
    return code;
}
