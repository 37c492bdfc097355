#include "appblock.h"

QList<APPBLOCK> topItems;

int appblockMetaType()
{
    static const int id = qRegisterMetaType<APPBLOCK>("APPBLOCK");
    return id;
}
