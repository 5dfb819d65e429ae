#!/usr/bin/env python3
"""The Windows player under Wine, used as a player uses it.

A private X server with a window manager (tests/host/e2e_player.py), the
player's sound through a private desktop sound server by Wine's PulseAudio
driver (tests/support/sound_session.py), and the end-to-end cartridge: the
picture is blue, red while A is held, green while Start is, white with
both, and it plays a steady 440 Hz tone.

Checks: the window at the scale of "config.cfg"; held keys reach the game;
the tone at its pitch (Wine's own sound path breaks up on a busy machine
whatever the program does, so only the pitch); Escape opens the overlay;
"2" and then "3" change the scale and "config.cfg" follows each; F10 asks
"Please confirm" and Yes ends with 0; the next start reads the settings
back; a folder without a game shows the fatal stop in a box and, once it
is dismissed, ends with 255.

    wine_player.py --player EXE --prefix WINEPREFIX [--shots DIR]

--shots keeps screenshots of the game, the overlay, the box and the fatal
stop in DIR, to look at.
"""

import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "host"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import e2e_player as e2e  # noqa: E402
import sound_session  # noqa: E402

PITCH = 440.0
TONE_SECONDS = 3.0
PICTURE = (256, 224)


def scaled(scale):
    return (PICTURE[0] * scale, PICTURE[1] * scale)


def config_with_scale(scale):
    return e2e.DEFAULT_CONFIG.replace(b"Scale=3", b"Scale=%d" % scale)


SHOTS = None


def shot(display, window, name):
    if SHOTS:
        display.run(["import", "-silent", "-window", str(window), os.path.join(SHOTS, name + ".png")])


def overlay_shown(player):
    """The overlay's panel tints the picture's left part: no longer the
    game's blue there."""
    corner = player.display.pixels(player.window, [(8, 8)])[0]
    return corner is not None and not e2e.near(corner, e2e.BLUE)


def play(display, command, root, env):
    folder = e2e.make_folder(root, "play", config=config_with_scale(1))
    config = os.path.join(folder, "config.cfg")
    player = e2e.Player(display, command, folder, extra_env=env)
    try:
        player.wait_window()
        player.wait_size(scaled(1), "the window at the scale of config.cfg")
        player.focus()
        player.wait_colour(e2e.BLUE, "the game's picture")
        shot(display, player.window, "game")
        print("ok   the window \"Halvenor\" at the scale of config.cfg")

        for keys, colour in ((("x",), e2e.RED), (("x", "Return"), e2e.WHITE), (("Return",), e2e.GREEN)):
            for key in keys:
                display.xdotool("keydown", key)
            player.wait_colour(colour, "%s held to reach the game" % "+".join(keys))
            for key in keys:
                display.xdotool("keyup", key)
            player.wait_colour(e2e.BLUE, "%s released" % "+".join(keys))
        print("ok   held keys reach the game")

        return player, folder, config
    except BaseException:
        player.kill()
        raise


def hear(session, root):
    recording = session.record(os.path.join(root, "wine.raw"))
    start = e2e.poll(lambda: sound_session.first_edge(recording), "the tone at the sound server")
    pitch, breaks, longest = e2e.poll(lambda: sound_session.heard(recording, start, TONE_SECONDS),
                                      "%g s of the tone" % TONE_SECONDS)
    recording.stop()
    print("figure the tone under Wine: %.2f Hz, %d breaks, longest %.1f ms" % (pitch, breaks, longest))
    e2e.check(abs(pitch - PITCH) < 1.0, "the tone plays at %.2f Hz" % pitch)
    print("ok   the sound reaches the sound server at the game's pitch")


def overlay_scale_and_quit(display, player, config):
    player.key("Escape")
    e2e.poll(lambda: overlay_shown(player), "the overlay after Escape", interval=0.2)
    shot(display, player.window, "overlay")
    player.key("Escape")
    e2e.poll(lambda: not overlay_shown(player), "the overlay to close", interval=0.2)
    print("ok   Escape opens the overlay")

    for scale in (2, 3):
        player.key(str(scale))
        player.wait_size(scaled(scale), "scale %d" % scale)
        e2e.poll(lambda: e2e.settings_of(os.path.dirname(config)) == config_with_scale(scale),
                 "Scale=%d in config.cfg (holds %r)" % (scale, e2e.settings_of(os.path.dirname(config))))
    print("ok   2 and then 3 change the scale, and config.cfg follows")

    player.key("F10")
    shot(display, player.confirm_box(), "confirm")
    player.answer_box("Return")
    status = player.wait_exit()
    e2e.check(status == 0, "Yes ends with 0 (got %d): %s" % (status, player.stderr()))
    stored = e2e.read_file(config)
    e2e.check(stored == config_with_scale(3), "config.cfg after the quit: %r" % stored)
    print("ok   F10 asks \"Please confirm\", Yes ends with 0, config.cfg has the same bytes as on Linux")


def start_again(display, command, folder, env):
    player = e2e.Player(display, command, folder, extra_env=env)
    try:
        player.wait_window()
        player.wait_size(scaled(3), "the next start at the stored scale")
        print("ok   the next start reads the settings back")
    finally:
        player.kill()


def missing_game(display, command, root, env):
    folder = e2e.make_folder(root, "nogame", game=False, config=config_with_scale(2))
    player = e2e.Player(display, command, folder, extra_env=env)
    try:
        box = e2e.poll(lambda: display.find_window("Halvenor"), "the fatal stop's box")
        shot(display, box, "fatal")
        display.xdotool("windowactivate", "--sync", box)
        display.xdotool("key", "Return")
        status = player.wait_exit()
        e2e.check(status == 255, "status 255 without game.nes (got %d)" % status)
        # Printed as text: a Windows line end.
        e2e.check(player.stdout().replace(b"\r\n", b"\n") == b"Unable to initialize emulator\n",
                  "message: %r" % player.stdout())
        e2e.check(e2e.settings_of(folder) == config_with_scale(2), "config.cfg kept unchanged")
        print("ok   a folder without a game shows the fatal stop in a box and ends with 255")
    finally:
        player.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--prefix", required=True, help="the Wine prefix to run in")
    parser.add_argument("--shots")
    args = parser.parse_args()
    global SHOTS
    SHOTS = args.shots
    root = tempfile.mkdtemp(prefix="halvenor-wine-")
    session = sound_session.SoundSession(os.path.join(root, "sound"))
    display = player = None
    command = ["wine", os.path.abspath(args.player)]
    try:
        display = e2e.Display()
        # The host library picks Windows' own sound, which Wine hands to
        # the desktop's sound server.
        env = dict(session.client_env(display.env), SDL_AUDIODRIVER="", WINEPREFIX=args.prefix,
                   WINEDEBUG="-all")
        player, folder, config = play(display, command, root, env)
        hear(session, root)
        overlay_scale_and_quit(display, player, config)
        player.kill()
        player = None
        start_again(display, command, folder, env)
        missing_game(display, command, root, env)
        return 0
    except (e2e.Failure, sound_session.Failure) as failure:
        print("FAIL %s" % failure)
        return 1
    finally:
        if player:
            player.kill()
        # Wine's own processes (its server, its desktop window) outlive the
        # program: end them with the prefix's server.
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=args.prefix), timeout=e2e.WAIT)
        if display:
            display.close()
        session.close()


if __name__ == "__main__":
    sys.exit(main())
