#pragma once

#include "spritestyle.h"

// Every sprite strip of the program, by name, for the tests that go through them all.
struct NamedSprite
{
    const char *name;
    const Sprite *sprite;
};

inline const NamedSprite AllSprites[] = {
    {"BtnBar", &Sprites::BtnBar},
    {"Close", &Sprites::Close},
    {"Feedback", &Sprites::Feedback},
    {"SettingBtn", &Sprites::SettingBtn},
    {"Donate", &Sprites::Donate},
    {"CountTip", &Sprites::CountTip},
    {"Go", &Sprites::Go},
    {"PathBtn", &Sprites::PathBtn},
    {"DialogOk", &Sprites::DialogOk},
    {"DialogCancel", &Sprites::DialogCancel},
    {"ManagerOk", &Sprites::ManagerOk},
    {"ManagerCancel", &Sprites::ManagerCancel},
    {"ManagerAdd", &Sprites::ManagerAdd},
    {"ManagerModify", &Sprites::ManagerModify},
    {"ManagerDelete", &Sprites::ManagerDelete},
};
