// A pointer for a compositor that has none (headless sway): moves and
// presses as told on standard input, one request a line, through wlroots'
// virtual pointer protocol, and answers each with "ok" once the compositor
// has had it.
//
//   move X Y WIDTH HEIGHT   to X,Y of an output layout WIDTH×HEIGHT
//   press BUTTON            an evdev button code: 272 left, 273 right
//   release BUTTON
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

static struct zwlr_virtual_pointer_manager_v1 *manager;

static void announced(void *data, struct wl_registry *registry, uint32_t name,
                      const char *interface, uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void withdrawn(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registryListener = {announced, withdrawn};

static uint32_t milliseconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int main(void)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "virtual-pointer: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    if (wl_display_roundtrip(display) < 0 || !manager) {
        fprintf(stderr, "virtual-pointer: the compositor has no virtual pointers\n");
        return 1;
    }
    // On the compositor's default seat.
    struct zwlr_virtual_pointer_v1 *pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, NULL);
    if (wl_display_roundtrip(display) < 0)
        return 1;
    setvbuf(stdout, NULL, _IOLBF, 0);

    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x, y, width, height, button;
        if (sscanf(line, "move %u %u %u %u", &x, &y, &width, &height) == 4) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, milliseconds(), x, y, width, height);
        } else if (sscanf(line, "press %u", &button) == 1) {
            zwlr_virtual_pointer_v1_button(pointer, milliseconds(), button,
                                           WL_POINTER_BUTTON_STATE_PRESSED);
        } else if (sscanf(line, "release %u", &button) == 1) {
            zwlr_virtual_pointer_v1_button(pointer, milliseconds(), button,
                                           WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            printf("?\n");
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0)
            return 1;
        printf("ok\n");
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
