#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char *const SandboxVar = "TOLVANE_TEST_SANDBOX";

QString selfExecutable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

int runChild(const QString &program, int argc, char **argv)
{
    const QByteArray programPath = QFile::encodeName(program);
    const pid_t pid = fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        // The copy must not outlive a runner that is killed on a time-out.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        std::vector<char *> args;
        args.push_back(const_cast<char *>(programPath.constData()));
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(programPath.constData(), args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return 127;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace

namespace TestSandbox {

int run(int argc, char **argv, const std::function<int(int, char **)> &tests)
{
    if (qEnvironmentVariableIsSet(SandboxVar))
        return tests(argc, argv);

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tolvane-test-XXXXXX"));
    if (!dir.isValid())
        return 126;
    const QString base = dir.path();
    for (const char *sub : {"bin", "home/.config", "home/.local/share", "home/.cache", "runtime", "registry",
                            "xdg-data-dirs", "xdg-config-dirs", "home/Desktop"})
        QDir().mkpath(base + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString self = selfExecutable();
    const QString copy = base + QStringLiteral("/bin/") + QFileInfo(self).fileName();
    if (!QFile::copy(self, copy))
        return 125;

    const auto set = [&](const char *name, const QString &sub) {
        qputenv(name, QFile::encodeName(base + QLatin1Char('/') + sub));
    };
    qputenv(SandboxVar, QFile::encodeName(base));
    set("HOME", QStringLiteral("home"));
    set("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
    set("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
    set("XDG_CACHE_HOME", QStringLiteral("home/.cache"));
    set("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    set("XDG_DATA_DIRS", QStringLiteral("xdg-data-dirs"));
    set("XDG_CONFIG_DIRS", QStringLiteral("xdg-config-dirs"));
    set("TOLVANE_REGISTRY_DIR", QStringLiteral("registry"));
    set("TMPDIR", QStringLiteral("runtime"));

    return runChild(copy, argc, argv);
}

QString root()
{
    return qEnvironmentVariable(SandboxVar);
}

QString path(const QString &relative)
{
    return root() + QLatin1Char('/') + relative;
}

QString buildBinDir()
{
    return qEnvironmentVariable("TOLVANE_TEST_BIN_DIR");
}

} // namespace TestSandbox
