#pragma once

#include <QString>
#include <QtTest>

#include <functional>

// Every test executable runs inside a sandbox: the first start copies the
// executable into a fresh temporary folder ("bin/"), points HOME, the XDG folders
// and TOLVANE_REGISTRY_DIR into that folder and runs the copy there, then removes
// the folder. So the code under test finds its application directory, its user
// folders and its registry where the program would, and never writes elsewhere.
namespace TestSandbox {

// Runs `tests` in the sandbox (starting the sandboxed copy first when needed).
int run(int argc, char **argv, const std::function<int(int, char **)> &tests);

// The sandbox root, and a path inside it ("home", "bin", "registry", ...).
QString root();
QString path(const QString &relative);

// The folder holding the built program (the tolvane executable, config.ini, main.ico).
QString buildBinDir();

} // namespace TestSandbox

// Use instead of QTEST_MAIN: a QApplication, the test object and the sandbox.
#define TOLVANE_TEST_MAIN(TestObject)                                                                        \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        return TestSandbox::run(argc, argv, [](int c, char **v) {                                            \
            QApplication app(c, v);                                                                          \
            app.setAttribute(Qt::AA_Use96Dpi, true);                                                         \
            TestObject tc;                                                                                   \
            QTEST_SET_MAIN_SOURCE_PATH                                                                       \
            return QTest::qExec(&tc, c, v);                                                                  \
        });                                                                                                  \
    }
