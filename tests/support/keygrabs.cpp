#include "keygrabs.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace KeyGrabs {

int heldElsewhere(uint16_t modifiers)
{
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(other)) {
        xcb_disconnect(other);
        return -1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    int refused = 0;
    for (int code = 8; code < 256; ++code) {
        auto cookie = xcb_grab_key_checked(other, 1, root, modifiers, static_cast<xcb_keycode_t>(code),
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(other, cookie)) {
            free(error);
            ++refused;
        }
    }
    xcb_disconnect(other);
    return refused;
}

Holder::Holder(uint16_t modifiers, char letter) : connection(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(connection))
        return;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto cookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<uint8_t>(count));
    xcb_get_keyboard_mapping_reply_t *reply = xcb_get_keyboard_mapping_reply(connection, cookie, nullptr);
    if (!reply)
        return;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply);
    xcb_keycode_t code = 0;
    for (int i = 0; i < count && code == 0; ++i) {
        if (syms[i * reply->keysyms_per_keycode] == xcb_keysym_t(letter))
            code = xcb_keycode_t(setup->min_keycode + i);
    }
    free(reply);
    if (code == 0)
        return;
    auto grab =
        xcb_grab_key_checked(connection, 1, root, modifiers, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t *error = xcb_request_check(connection, grab);
    held = !error;
    free(error);
}

Holder::~Holder()
{
    xcb_disconnect(connection);
}

} // namespace KeyGrabs
