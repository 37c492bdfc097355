#pragma once

#include <cstdint>

struct xcb_connection_t;

// What the X server says about key grabs, seen from a second client.
namespace KeyGrabs {

// Modifier masks as the X server names them.
inline constexpr uint16_t Shift = 1 << 0;
inline constexpr uint16_t Lock = 1 << 1;
inline constexpr uint16_t Control = 1 << 2;
inline constexpr uint16_t Alt = 1 << 3; // Mod1

// How many keys another X client cannot grab with exactly these modifiers, that
// is, how many some client (such as the program under test) holds. The probe's
// own grabs end with its connection.
int heldElsewhere(uint16_t modifiers);

// Another program holding a key: grabs the key that types `letter` with the
// modifiers on a connection of its own until destroyed.
class Holder
{
public:
    Holder(uint16_t modifiers, char letter);
    ~Holder();
    bool holds() const { return held; }

private:
    xcb_connection_t *connection = nullptr;
    bool held = false;
};

} // namespace KeyGrabs
