// Tolvane's entry point: one copy per user, a splash while the catalog opens,
// then the main window and the event loop.

#include "dialog.h"
#include "messagehandler.h"
#include "paintlog.h"
#include "popupwindows.h"
#include "scaledimages.h"
#include "searchlineedit.h"
#include "singleapplication.h"
#include "terminationwatcher.h"
#include "windowactivation.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSessionManager>
#include <QSplashScreen>
#include <QWindow>

int main(int argc, char **argv)
{
    // The desktop's proof that the user started us; Qt takes it out of the
    // environment when the application object starts.
    const QString activationToken = WindowActivation::startupToken();
    // The running copy shows its window; with the token the desktop lets it take
    // the keyboard.
    QString message = QStringLiteral("raies");
    if (!activationToken.isEmpty())
        message += QLatin1Char('\n') + activationToken;

    // A second start (the key a user binds to the command) only passes the request
    // on, before it connects to the display, so the window comes up at once.
    if (SingleApplication::sendToRunningCopy(message, 5000) != SingleApplication::Delivery::NoCopyRunning)
        return 0;

    SingleApplication app(argc, argv);
    MessageHandler::install();

    if (app.isRunning()) {
        // A copy that started in the meantime.
        app.sendMessage(message, 5000);
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

    // The id of the installed desktop entry: the Wayland app id, and what the
    // desktop's portal is told.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Tolvane"));

    // The tray keeps the program alive while every window is hidden; Quit and the
    // termination signals end it explicitly.
    QApplication::setQuitOnLastWindowClosed(false);
    // main.ico from the working folder, where a portable copy started from its own
    // folder has it; otherwise beside the executable (an installed copy started
    // from the menu).
    QString windowIcon = QStringLiteral("main.ico");
    if (!QFileInfo::exists(windowIcon))
        windowIcon = QCoreApplication::applicationDirPath() + QStringLiteral("/main.ico");
    QApplication::setWindowIcon(QIcon(windowIcon));

    // Decoded outside the pixmap cache, so its memory goes with the splash.
    auto splash = new QSplashScreen(QPixmap::fromImage(
        ScaledImages::image(QStringLiteral(":/images/SPLASHSCREEN"), ScaledImages::applicationRatio())));
    // A window of fixed size floats, centred, on tiling Wayland compositors too. The
    // size is the image's device-independent one: on a scaled screen it is the 2x image.
    splash->setFixedSize(splash->pixmap().deviceIndependentSize().toSize());
    splash->show();
    // A Wayland window appears only after the compositor's first configure: wait a
    // little for it, so the splash is drawn before the blocking work, not left empty.
    QElapsedTimer waited;
    waited.start();
    while (splash->windowHandle() && !splash->windowHandle()->isExposed() && waited.elapsed() < 250)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    splash->repaint();
    QCoreApplication::processEvents();

    auto window = new Dialog;
    // A session manager's save saves the catalog and the program goes on; the end
    // of the session ends the event loop (Qt's own handling), which saves as Quit.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, window,
        [window](QSessionManager &) { window->edtSearch->catalog.SaveNow(); }, Qt::DirectConnection);
    // Quit chosen from the tray, or a termination signal, while the window was
    // built: end without showing it.
    if (!ending && !window->quitRequested) {
        PaintLog::installOn(window);
        // A Wayland compositor places each new window where nothing else is (mutter's
        // first fit): with the splash gone first, the window starts where it comes
        // back at every summon.
        if (PopupWindows::isWayland())
            splash->close();
        window->setVisible(true);
        if (!activationToken.isEmpty())
            WindowActivation::activate(window, activationToken);
        QObject::connect(&app, &SingleApplication::messageReceived, window, &Dialog::handleMessage);
        splash->finish(window);
    }
    delete splash;

    // quit() does nothing before the event loop runs, so a request to end that
    // came while the window was built is read here.
    const int code = ending || window->quitRequested ? 0 : app.exec();
    delete window;
    return code;
}
