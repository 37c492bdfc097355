/* Presses keys in a KWin session through KWin's fake-input protocol (the
 * compositor must allow it: KWIN_WAYLAND_NO_PERMISSION_CHECKS=1):
 *   kwin-keys COMBINATION...
 * Each argument is one combination ("ctrl+alt+q", "Escape", "m") pressed and
 * released in turn, or "type:TEXT" for lower-case letters, digits and spaces, or
 * "sleep:MS". Keys are named as evdev keys: ctrl, alt, shift, meta, a-z, 0-9,
 * f1-f12, escape, return, space, tab, backspace. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input *fake;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

static int letter_codes[26] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                               KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                               KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
static int digit_codes[10] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};

static int code_of(const char *name)
{
    static const struct
    {
        const char *name;
        int code;
    } named[] = {{"ctrl", KEY_LEFTCTRL},      {"alt", KEY_LEFTALT},    {"shift", KEY_LEFTSHIFT},
                 {"meta", KEY_LEFTMETA},      {"super", KEY_LEFTMETA}, {"escape", KEY_ESC},
                 {"return", KEY_ENTER},       {"space", KEY_SPACE},    {"tab", KEY_TAB},
                 {"backspace", KEY_BACKSPACE}};
    if (strlen(name) == 1 && name[0] >= 'a' && name[0] <= 'z')
        return letter_codes[name[0] - 'a'];
    if (strlen(name) == 1 && name[0] >= '0' && name[0] <= '9')
        return digit_codes[name[0] - '0'];
    if ((name[0] == 'f' || name[0] == 'F') && name[1] >= '1' && name[1] <= '9') {
        const int n = atoi(name + 1);
        if (n >= 1 && n <= 10)
            return KEY_F1 + n - 1;
        if (n == 11 || n == 12)
            return KEY_F11 + n - 11;
    }
    for (size_t i = 0; i < sizeof named / sizeof named[0]; ++i)
        if (strcasecmp(name, named[i].name) == 0)
            return named[i].code;
    return -1;
}

static void pause_ms(long ms)
{
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

/* Each event is through KWin before the next is sent (a round trip). */
static void key(struct wl_display *display, int code, int pressed)
{
    org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)code, pressed ? 1 : 0);
    wl_display_roundtrip(display);
}

/* Presses the keys of "ctrl+alt+q" in order, then releases them in reverse. */
static int combination(struct wl_display *display, const char *text)
{
    int codes[8];
    int count = 0;
    char copy[128];
    snprintf(copy, sizeof copy, "%s", text);
    for (char *part = strtok(copy, "+"); part && count < 8; part = strtok(NULL, "+")) {
        const int code = code_of(part);
        if (code < 0) {
            fprintf(stderr, "kwin-keys: unknown key \"%s\"\n", part);
            return 0;
        }
        codes[count++] = code;
    }
    for (int i = 0; i < count; ++i)
        key(display, codes[i], 1);
    for (int i = count - 1; i >= 0; --i)
        key(display, codes[i], 0);
    return 1;
}

int main(int argc, char **argv)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kwin-keys: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "kwin-keys: the compositor offers no fake input (version 4)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "kwin-keys", "test keys");
    wl_display_roundtrip(display);
    int ok = 1;
    for (int i = 1; i < argc && ok; ++i) {
        if (strncmp(argv[i], "sleep:", 6) == 0) {
            pause_ms(atol(argv[i] + 6));
        } else if (strncmp(argv[i], "type:", 5) == 0) {
            for (const char *c = argv[i] + 5; *c && ok; ++c) {
                const char name[2] = {*c == ' ' ? 0 : *c, 0};
                ok = *c == ' ' ? combination(display, "space") : combination(display, name);
            }
        } else {
            ok = combination(display, argv[i]);
        }
    }
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(fake);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return ok ? 0 : 1;
}
