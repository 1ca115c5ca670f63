#!/usr/bin/python3
"""The real IP binary as a screen reader sees it: read through AT-SPI from
another process, after the screen reader has announced itself on the
session's accessibility bus.

    tst_accessibility.py <IP binary>

Runs in a private X session with a private session bus (XDG_CONFIG_HOME and
XDG_RUNTIME_DIR are the session's scratch folders)."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

MAIN_CAPTION = "Kestrune's IP Tool"
FLOATING_NAME = "Floating IP address"
LINK_TEXT = "kestrune.com"
LINK_URL = "https://kestrune.com/"
DOTTED_QUAD = re.compile(r"^\d{1,3}(\.\d{1,3}){3}$")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)
    return condition


def wait_for(condition, seconds=20):
    deadline = time.monotonic() + seconds
    while True:
        try:
            value = condition()
        except Exception:  # the tree may change under us while it builds
            value = None
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


def children(acc):
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def has_state(acc, state):
    return acc.getState().contains(state)


def actions(acc):
    try:
        action = acc.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def do_action(acc, name):
    action = acc.queryAction()
    return action.doAction(actions(acc).index(name))


def announce_screen_reader():
    """What a screen reader does when it starts: it tells the session's
    accessibility bus that one is running, which applications ask about."""
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                    "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                    "string:org.a11y.Status", "string:ScreenReaderEnabled",
                    "variant:boolean:true"], check=True, stdout=subprocess.DEVNULL)


def program(name):
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app is not None and app.name == name:
            return app
    return None


def frame(app, name):
    for window in children(app):
        if window.getRole() == pyatspi.ROLE_FRAME and window.name == name:
            return window
    return None


def key(name):
    subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)


def main():
    binary = sys.argv[1]
    config = os.environ["XDG_CONFIG_HOME"]
    with open(os.path.join(config, "Kestrune.conf"), "w") as settings:
        settings.write("[IP]\nFloat=YES\n")

    # The browser is a stand-in that writes down what it was asked to open.
    scratch = tempfile.mkdtemp()
    record = os.path.join(scratch, "opened")
    opener = os.path.join(scratch, "xdg-open")
    platform_record = os.path.join(scratch, "platform")
    with open(opener, "w") as script:
        script.write('#!/bin/sh\nprintf "%%s\\n" "${QT_QPA_PLATFORM-unset}" > "%s"\n'
                     'printf "%%s\\n" "$*" >> "%s"\n' % (platform_record, record))
    os.chmod(opener, 0o755)

    def opened():
        try:
            with open(record) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    announce_screen_reader()
    env = dict(os.environ, PATH=scratch + os.pathsep + os.environ["PATH"])
    env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
    # A Wayland session with XWayland: the program chooses X11 for itself,
    # and for nothing it starts.
    env.pop("QT_QPA_PLATFORM", None)
    env["WAYLAND_DISPLAY"] = "wayland-kestrune-test"
    ip = subprocess.Popen([binary], env=env)
    try:
        app = wait_for(lambda: program("IP"))
        if not check(app is not None, "IP is not on the accessibility bus"):
            return
        main_window = wait_for(lambda: frame(app, MAIN_CAPTION))
        floating = wait_for(lambda: frame(app, FLOATING_NAME))
        if not check(main_window is not None, "no frame named by the caption: %s"
                     % [(w.getRoleName(), w.name) for w in children(app)]):
            return
        if not check(floating is not None, "the floating window is no named frame"):
            return

        # The main window: the address, three buttons and the link.
        content = {(c.getRole(), c.name): c for c in children(main_window)}
        address = [c for c in children(main_window) if c.getRole() == pyatspi.ROLE_LABEL]
        check(len(address) == 1 and DOTTED_QUAD.match(address[0].name),
              "the main window's address: %s" % [c.name for c in address])
        for caption in ("Copy", "Hide", "Floating Off"):
            check((pyatspi.ROLE_PUSH_BUTTON, caption) in content, "no button " + caption)
        link = content.get((pyatspi.ROLE_LINK, LINK_TEXT))
        if not check(link is not None, "the web address is no link: %s"
                     % [(c.getRoleName(), c.name) for c in children(main_window)]):
            return
        check(has_state(link, pyatspi.STATE_FOCUSABLE), "the link takes no focus")
        check("Press" in actions(link), "the link has no action: %s" % actions(link))

        # The floating window holds the address and nothing else.
        inside = children(floating)
        check(len(inside) == 1 and inside[0].getRole() == pyatspi.ROLE_LABEL
              and address and inside[0].name == address[0].name,
              "the floating window holds %s" % [(c.getRoleName(), c.name) for c in inside])

        # The link's action opens the web site.
        do_action(link, "Press")
        check(wait_for(lambda: opened() == [LINK_URL]), "the action opened %s" % opened())
        with open(platform_record) as f:
            platform = f.read().strip()
        check(platform == "unset", "the browser was started with QT_QPA_PLATFORM=" + platform)

        # Tab reaches the link after the buttons; Space and Enter open it.
        window = subprocess.run(["xdotool", "search", "--name", "^%s$" % MAIN_CAPTION],
                                check=True, capture_output=True, text=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowactivate", "--sync", window], check=True)
        copy = content[(pyatspi.ROLE_PUSH_BUTTON, "Copy")]
        check(wait_for(lambda: has_state(copy, pyatspi.STATE_FOCUSED)), "Copy has no focus")
        for _ in range(3):
            key("Tab")
        check(wait_for(lambda: has_state(link, pyatspi.STATE_FOCUSED)),
              "three Tabs from Copy do not reach the link")
        key("space")
        check(wait_for(lambda: len(opened()) == 2), "Space did not open the link")
        key("Return")
        check(wait_for(lambda: len(opened()) == 3), "Enter did not open the link")
        check(opened() == [LINK_URL] * 3, "opened %s" % opened())
    finally:
        ip.send_signal(signal.SIGTERM)
        try:
            ip.wait(timeout=20)
        except subprocess.TimeoutExpired:
            ip.kill()
            failures.append("IP did not end on SIGTERM")

    print("%d failure(s)" % len(failures))


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
