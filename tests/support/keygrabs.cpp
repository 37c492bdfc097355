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

} // namespace KeyGrabs
