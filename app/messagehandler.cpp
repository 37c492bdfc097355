#include "messagehandler.h"

#include <QtGlobal>

#include <cstdlib>

namespace {

void handleMessage(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

namespace MessageHandler {

void install()
{
    qInstallMessageHandler(handleMessage);
}

} // namespace MessageHandler
