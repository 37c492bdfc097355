#pragma once

#include <QString>

// Button faces are strips of sprite images picked by style-sheet pseudo-states.
// Each sprite entry names the image and the border-image slice offsets
// ("top right bottom left 0") of its normal, hovered and pressed strip.
struct Sprite
{
    const char *url;
    const char *normal;
    const char *hovered;
    const char *pressed;
};

namespace Sprites {

inline constexpr Sprite BtnBar{":/images/BTNBAR", "0 0 50 0 0", "25 0 25 0 0", "50 0 0 0 0"};
inline constexpr Sprite Close{":/images/CLOSE", "0 0 32 0 0", "16 0 16 0 0", "32 0 0 0 0"};
inline constexpr Sprite Feedback{":/images/FEEDBACK1", "0 0 32 0 0", "16 0 16 0 0", "32 0 0 0 0"};
inline constexpr Sprite SettingBtn{":/images/SETTINGBTN", "0 0 32 0 0", "16 0 16 0 0", "32 0 0 0 0"};
inline constexpr Sprite Donate{":/images/DONATE", "0 0 32 0 0", "16 0 16 0 0", "32 0 0 0 0"};
inline constexpr Sprite CountTip{":/images/COUNTTIP", "0 0 82 0 0", "41 0 41 0 0", "82 0 0 0 0"};
inline constexpr Sprite Go{":/images/GO", "23 0 23 0 0", "0 0 46 0 0", "46 0 0 0 0"};
inline constexpr Sprite PathBtn{":/images/PATHBTN", "0 0 46 0 0", "46 00 0 0 0", "23 0 23 0 0"};
inline constexpr Sprite DialogOk{":/images/SETDLGBTN", "0 72 66 0 0", "66 72 0 0 0", "33 72 33 0 0"};
inline constexpr Sprite DialogCancel{":/images/SETDLGBTN", "0 0 66 72 0", "66 0 0 72 0", "33 0 33 72 0"};
inline constexpr Sprite ManagerOk{":/images/ATBTN", "0 288 66 0 0", "66 288 0 0 0", "33 288 33 0 0"};
inline constexpr Sprite ManagerCancel{":/images/ATBTN", "0 216 66 72 0", "66 216 0 72 0", "33 216 33 72 0"};
inline constexpr Sprite ManagerAdd{":/images/ATBTN", "0 144 66 144 0", "66 144 0 144 0", "33 144 33 144 0"};
inline constexpr Sprite ManagerModify{":/images/ATBTN", "0 72 66 216 0", "66 72 0 216 0", "33 72 33 216 0"};
inline constexpr Sprite ManagerDelete{":/images/ATBTN", "0 0 66 288 0", "66 0 0 288 0", "33 0 33 288 0"};

// The three-rule style sheet of a push button showing the sprite: "QPushButton {",
// then the hovered and the pressed rule. `extra` (for instance "color:white;") is
// added to each rule. On screens scaled above 1 the rules name the 2x sprite with
// doubled offsets (see ScaledImages::styleSheet).
QString buttonStyle(const Sprite &sprite, const QString &extra = QString());

} // namespace Sprites
