// Painting the frameless windows on a screen of the scale QT_SCALE_FACTOR gives (run
// on the offscreen platform; tools/bench.sh runs it at 1, 1.5 and 2): a whole repaint
// of the settings dialog, the application manager and a help page, each as the window
// draws itself (background image and children) into a pixmap.
#include "benchtable.h"
#include "helpdlg.h"
#include "qappshow.h"
#include "qsettingdlg.h"
#include "testmain.h"

#include <QApplication>

#include <memory>

namespace {

std::vector<double> repaints(QWidget &window, int runs)
{
    window.show();
    QApplication::processEvents();
    window.grab(); // the first paint decodes the images; the figure is for repaints
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const qint64 start = BenchTable::nowNs();
        const QPixmap shot = window.grab();
        times.push_back((BenchTable::nowNs() - start) / 1e6);
        if (shot.isNull())
            qFatal("nothing painted");
    }
    window.hide();
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    return TestSandbox::run(argc, argv, [](int c, char **v) {
        QApplication app(c, v);
        BenchTable::quietMessages();
        const QString scale = QString::number(app.devicePixelRatio());
        const int runs = 60;
        QSettingDlg settings;
        BenchTable::row(QStringLiteral("repaint of the settings dialog at scale %1").arg(scale),
                        repaints(settings, runs), QStringLiteral("ms"), 0);
        QAppshow manager;
        BenchTable::row(QStringLiteral("repaint of the application manager at scale %1").arg(scale),
                        repaints(manager, runs), QStringLiteral("ms"), 0);
        HelpDlg help;
        BenchTable::row(QStringLiteral("repaint of a help page at scale %1").arg(scale), repaints(help, runs),
                        QStringLiteral("ms"), 0);
        return 0;
    });
}
