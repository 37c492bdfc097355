#include "traywatcher.h"

// The Windows taskbar always has its notification area.
class TrayWatcher::Private
{
};

TrayWatcher::TrayWatcher(QObject *parent) : QObject(parent) {}

TrayWatcher::~TrayWatcher() = default;
