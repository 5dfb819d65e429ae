#!/usr/bin/env python3
"""End to end: the real player in a private X server, driven like a person.

Starts Xvfb and a window manager (full screen needs one), runs the player in
a fresh folder per scenario, presses real keys with xdotool, and reads the
window back with ImageMagick's `import`. The sound goes to SDL's disk audio
driver, so it can be checked too.

The game is a small cartridge made here: the whole picture is the backdrop
colour, blue when no button is held, red while A is held, green while Start
is held and white with both; it plays one steady tone from power-on.

    e2e_player.py --player BIN [--play-dir DIR] [--probe LIB] [--quick]

--play-dir names the bundled game's folder, whose game is then played too;
--probe names the preloaded library that reports presents (pass rate and
time to the first frame); --quick runs only the sound-and-quit scenario, for
the sanitizer builds.
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

# Seconds: the longest any single expectation may take. Generous, because
# the suite runs beside other work: a loaded machine may take many times
# longer than an idle one, and a wait ends as soon as what it waits for
# holds.
WAIT = 60.0

BLUE = (0, 0, 255)
RED = (255, 0, 0)
GREEN = (0, 255, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
ARTWORK = (200, 120, 40)

DEFAULT_CONFIG = (
    b"Windowed=1\nScale=3\nSoundInterpolation=0\n"
    b"ButtonLeft=0x00000050\nButtonRight=0x0000004f\nButtonUp=0x00000052\n"
    b"ButtonDown=0x00000051\nButtonSelect=0x0000002c\nButtonStart=0x00000028\n"
    b"ButtonB=0x0000001d\nButtonA=0x0000001b\n"
)


# Waits until a window manager has taken a window in.
MANAGER_READY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "manager_ready.sh")


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def poll(probe, what, timeout=WAIT, interval=0.1):
    """Calls probe until it returns something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


# --------------------------------------------------------------------------
# The test cartridge and its files


def test_cartridge():
    """One 16 KB program bank and character RAM. Reset turns on the pulse
    tone, the background and the NMI; the NMI handler reads the pad and
    writes the backdrop colour from A and Start."""
    base = 0xC000
    code = []

    def emit(*data):
        code.extend(data)

    emit(0x78, 0xA2, 0xFF, 0x9A)  # SEI; LDX #$FF; TXS
    for address, value in ((0x4000, 0xBF), (0x4002, 0xFD), (0x4003, 0x00), (0x2001, 0x0A), (0x2000, 0x80)):
        emit(0xA9, value, 0x8D, address & 0xFF, address >> 8)  # LDA #v; STA a
    idle = base + len(code)
    emit(0x4C, idle & 0xFF, idle >> 8)  # JMP idle
    nmi = base + len(code)
    emit(0xA9, 0x01, 0x8D, 0x16, 0x40, 0xA9, 0x00, 0x8D, 0x16, 0x40)  # strobe
    emit(0xAD, 0x16, 0x40, 0x29, 0x01, 0x85, 0x00)  # A -> $00
    emit(0xAD, 0x16, 0x40, 0xAD, 0x16, 0x40)  # B, Select
    emit(0xAD, 0x16, 0x40, 0x29, 0x01, 0x0A, 0x05, 0x00, 0xAA)  # X = Start * 2 + A
    emit(0xAD, 0x02, 0x20, 0xA9, 0x3F, 0x8D, 0x06, 0x20, 0xA9, 0x00, 0x8D, 0x06, 0x20)  # $2006 = $3F00
    colour_operand = len(code) + 1
    emit(0xBD, 0x00, 0x00, 0x8D, 0x07, 0x20)  # LDA colours,X; STA $2007
    emit(0xA9, 0x00, 0x8D, 0x06, 0x20, 0x8D, 0x06, 0x20, 0x8D, 0x05, 0x20, 0x8D, 0x05, 0x20)
    emit(0xA9, 0x80, 0x8D, 0x00, 0x20, 0x40)  # NMI stays on; RTI
    colours = base + len(code)
    code[colour_operand] = colours & 0xFF
    code[colour_operand + 1] = colours >> 8
    emit(0x01, 0x16, 0x2A, 0x30)

    program = bytearray(16384)
    program[: len(code)] = bytes(code)
    for offset, address in ((0x3FFA, nmi), (0x3FFC, base), (0x3FFE, base)):
        program[offset] = address & 0xFF
        program[offset + 1] = address >> 8
    return b"NES\x1a" + bytes([1, 0, 0]) + bytes(9) + bytes(program)


def test_palette():
    palette = bytearray(192)
    for index, colour in ((0x01, BLUE), (0x16, RED), (0x2A, GREEN), (0x30, WHITE)):
        palette[3 * index : 3 * index + 3] = bytes(colour)
    return bytes(palette)


def make_folder(root, name, game=True, artwork=True, config=None):
    folder = os.path.join(root, name)
    os.makedirs(folder)
    if game:
        with open(os.path.join(folder, "game.nes"), "wb") as f:
            f.write(test_cartridge())
    with open(os.path.join(folder, "palette.pal"), "wb") as f:
        f.write(test_palette())
    if artwork:
        subprocess.run(
            ["convert", "-size", "64x48", "xc:rgb(%d,%d,%d)" % ARTWORK, os.path.join(folder, "artwork.jpg")],
            check=True,
            timeout=WAIT,
        )
    if config is not None:
        with open(os.path.join(folder, "config.cfg"), "wb") as f:
            f.write(config)
    return folder


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


# --------------------------------------------------------------------------
# The X server


class Display:
    """A private X server with a window manager, which full screen needs.
    A start whose manager takes no window in within a minute is tried afresh,
    and the failure says in one line what each try saw."""

    TRIES = 3

    def __init__(self):
        self.server = self.manager = None
        seen = []
        for _ in range(self.TRIES):
            failure = self.start()
            if failure is None:
                return
            seen.append(failure)
            self.close()
        raise Failure("the X server and its window manager did not start: " + "; ".join(seen))

    def start(self):
        """None once both run, or what went wrong."""
        read_end, write_end = os.pipe()
        # Without key repeat: a key the test holds down while it waits stays
        # one press, however long the wait on a busy machine (a repeated
        # Alt+Return would toggle full screen again and again).
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-r"],
            pass_fds=(write_end,),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            return "Xvfb gave no display number (status %s)" % self.server.poll()
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())
        self.manager_log = tempfile.TemporaryFile()
        self.manager = subprocess.Popen(
            ["openbox", "--sm-disable"], env=self.env, stdout=self.manager_log, stderr=subprocess.STDOUT
        )
        # Ready once it has framed a window of its own: the player's window
        # mapped any sooner may never be shown.
        ready = subprocess.run(
            ["sh", MANAGER_READY, str(int(WAIT))], env=self.env, capture_output=True, timeout=2 * WAIT
        )
        if ready.returncode != 0:
            self.manager_log.seek(0)
            return "%s (server status %s, manager status %s, manager said %r)" % (
                ready.stdout.decode(errors="replace").strip(),
                self.server.poll(),
                self.manager.poll(),
                self.manager_log.read()[-300:],
            )
        return None

    def run(self, command):
        result = subprocess.run(command, env=self.env, capture_output=True, timeout=WAIT)
        return result.stdout

    def xdotool(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args]).decode()

    def find_window(self, title, visible=True):
        """The id of a window whose name is exactly title, or None."""
        tree = self.run(["xwininfo", "-root", "-tree"]).decode(errors="replace")
        for line in tree.splitlines():
            match = re.match(r'\s*(0x[0-9a-f]+) "(.*)":', line)
            if match and match.group(2) == title:
                window = int(match.group(1), 16)
                if not visible or "IsViewable" in self.run(["xwininfo", "-id", str(window)]).decode():
                    return window
        return None

    def geometry(self, window):
        values = dict(
            line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", window).split() if "=" in line
        )
        return int(values.get("WIDTH", -1)), int(values.get("HEIGHT", -1))

    def screenshot(self, window):
        """(width, height, RGB bytes) of the window as the X server shows it."""
        width, height = self.geometry(window)
        return width, height, self.run(["import", "-silent", "-window", str(window), "-depth", "8", "rgb:-"])

    def pixels(self, window, points):
        """The colours at the given points of a screenshot of window."""
        width, _, shot = self.screenshot(window)
        result = []
        for x, y in points:
            offset = 3 * (y * width + x)
            result.append(tuple(shot[offset : offset + 3]) if offset + 3 <= len(shot) else None)
        return result

    def close(self):
        for process in (self.manager, self.server):
            if process:
                process.kill()
                process.wait()
        if self.manager:
            self.manager_log.close()


def near(colour, expected, tolerance=24):
    return colour is not None and all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


# --------------------------------------------------------------------------
# The player


class Player:
    def __init__(self, display, binary, folder, probe=None, extra_env=None):
        """binary: the player's path, or the command that starts it (a
        Windows build under Wine)."""
        self.display = display
        self.folder = folder
        self.audio = os.path.join(folder, "..", os.path.basename(folder) + ".audio")
        self.probe_file = os.path.join(folder, "..", os.path.basename(folder) + ".probe")
        env = dict(display.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)
        env["ASAN_OPTIONS"] = "detect_leaks=0"  # the host libraries keep their caches to the end
        env.update(extra_env or {})
        self.probe_log = os.path.join(folder, "..", os.path.basename(folder) + ".probelog")
        if probe:
            env["LD_PRELOAD"] = os.path.abspath(probe)
            env["HALVENOR_PROBE_FILE"] = self.probe_file
            env["HALVENOR_PROBE_LOG"] = self.probe_log
        self.out = open(os.path.join(folder, "..", os.path.basename(folder) + ".stdout"), "w+b")
        self.err = open(os.path.join(folder, "..", os.path.basename(folder) + ".stderr"), "w+b")
        self.started = time.time_ns()
        # A session of its own: the confirmation box runs in a child process,
        # and the cleanup must end that too.
        command = binary if isinstance(binary, list) else [os.path.abspath(binary)]
        self.process = subprocess.Popen(
            command, cwd=folder, env=env, stdout=self.out, stderr=self.err, start_new_session=True
        )
        self.window = None

    def wait_window(self):
        def visible():
            check(self.process.poll() is None, "the player ended early: " + self.stderr())
            return self.display.find_window("Halvenor")

        self.window = poll(visible, "the player's window")
        return self.window

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self):
        # Polled finely, so that how soon it ended can be told.
        deadline = time.monotonic() + WAIT
        while self.process.poll() is None:
            if time.monotonic() > deadline:
                raise Failure("the player did not end")
            time.sleep(0.005)
        return self.process.returncode

    def stdout(self):
        self.out.flush()
        return read_file(self.out.name)

    def stderr(self):
        self.err.flush()
        return read_file(self.err.name).decode(errors="replace")

    def presents(self):
        """(time of the first present in ns, presents so far), or None."""
        try:
            first, count = read_file(self.probe_file).split()
            return int(first), int(count)
        except (OSError, ValueError):
            return None

    def key(self, *keys):
        self.display.xdotool("key", "--clearmodifiers", *keys)

    def focus(self):
        self.display.xdotool("windowactivate", "--sync", self.window)
        self.display.xdotool("windowfocus", "--sync", self.window)

    def centre_colour(self):
        width, height = self.display.geometry(self.window)
        return self.display.pixels(self.window, [(width // 2, height // 2)])[0]

    def wait_colour(self, colour, what):
        poll(lambda: near(self.centre_colour(), colour), what, interval=0.2)

    def wait_size(self, size, what):
        poll(lambda: self.display.geometry(self.window) == size, what + " (now %dx%d)" % self.display.geometry(self.window))

    def confirm_box(self):
        return poll(lambda: self.display.find_window("Please confirm"), "the quit confirmation")

    def answer_box(self, key):
        box = self.confirm_box()
        self.display.xdotool("windowactivate", "--sync", box)
        self.display.xdotool("key", key)
        poll(lambda: self.display.find_window("Please confirm") is None, "the confirmation to go")

    def kill(self):
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
        self.out.close()
        self.err.close()


def probe_log(player):
    """The presents, as (index, time, colour), and the key presses, as
    (keycode, presents before, time), that the probe logged so far; a line
    cut short by a write in progress is left out."""
    presents, keys = [], []
    for line in read_file(player.probe_log).decode(errors="replace").splitlines():
        fields = line.split()
        try:
            if fields[0] == "present" and len(fields) == 4 and len(fields[3]) == 6:
                presents.append((int(fields[1]), int(fields[2]), fields[3]))
            elif fields[0] == "key" and len(fields) == 4:
                keys.append((int(fields[1]), int(fields[2]), int(fields[3])))
        except (IndexError, ValueError):
            pass
    return presents, keys


def key_latency(player, presses=8):
    """Holds A (X) down again and again. For each press: the passes from the
    one whose event polling handed the key over to the one whose present
    first showed the game's answer (0 when it was the same pass), and the
    presents from the key going down to that one."""
    downs = []
    for _ in range(presses):
        before = time.time_ns()
        player.display.xdotool("keydown", "x")
        downs.append((before, time.time_ns()))
        player.wait_colour(RED, "A (X) to reach the game")
        player.display.xdotool("keyup", "x")
        player.wait_colour(BLUE, "A released")

    def logged():
        presents, keys = probe_log(player)
        seen = presents and downs[-1][1] < presents[-1][1]
        return (presents, keys) if seen and sum(1 for k in keys if k[0] == ord("x")) >= presses else None

    presents, keys = poll(logged, "the probe's log of the presses")
    late, counts = [], []
    for before, after in downs:
        key = next(k for k in keys if k[0] == ord("x") and k[2] >= before)
        red = next(p for p in presents if p[2] == "ff0000" and p[0] >= key[1])
        late.append(red[0] - key[1])
        counts.append(sum(1 for p in presents if after < p[1] <= red[1]))
    return late, counts


def audio_peak(path):
    """The largest sample magnitude in the disk driver's output."""
    data = read_file(path)
    data = data[: len(data) // 2 * 2]
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return max((abs(s) for s in samples), default=0)


# --------------------------------------------------------------------------
# Scenarios


def play_and_quit(display, binary, root, probe):
    """Default settings: size, keys, scale, full screen, sound, the pass rate
    unmapped, declining and confirming the quit."""
    folder = make_folder(root, "play")
    player = Player(display, binary, folder, probe)
    try:
        player.wait_window()
        player.focus()
        check(display.geometry(player.window) == (768, 672), "default window is 768x672")
        player.wait_colour(BLUE, "the game's picture")

        if probe:
            first = poll(player.presents, "the first present")[0]
            print("figure: exec to first present %.1f ms" % ((first - player.started) / 1e6))

        display.xdotool("keydown", "x")
        player.wait_colour(RED, "A (X) to reach the game")
        display.xdotool("keyup", "x")
        player.wait_colour(BLUE, "A released")
        if probe:
            late, counts = key_latency(player)
            print("figure: key to picture %.1f presents on average (%d to %d); passes after the key's: %s"
                  % (sum(counts) / len(counts), min(counts), max(counts), late))
            # A pass that runs no frame (the display is a little faster
            # than 60 Hz) may hold one answer back; most come at once.
            check(sorted(late)[len(late) // 2] == 0, "a key reaches the game in the pass that polls it: %s" % late)
        display.xdotool("keydown", "Return")
        player.wait_colour(GREEN, "Start (Return) to reach the game")
        display.xdotool("keydown", "x")
        player.wait_colour(WHITE, "A and Start together")
        display.xdotool("keyup", "x", "keyup", "Return")
        player.wait_colour(BLUE, "both released")

        player.key("2")
        player.wait_size((512, 448), "scale 2")

        # Alt+Return: full screen, and the game must not see Return (Start).
        display.xdotool("keydown", "alt", "keydown", "Return")
        player.wait_size((1920, 1080), "full screen")
        time.sleep(0.3)
        side, centre = display.pixels(player.window, [(40, 540), (960, 540)])
        display.xdotool("keyup", "Return", "keyup", "alt")
        check(near(centre, BLUE), "Start held back while Alt+Return is down (centre %s)" % (centre,))
        check(near(side, ARTWORK, 40), "artwork beside the picture in full screen (%s)" % (side,))
        player.key("alt+Return")
        player.wait_size((512, 448), "back to the window")
        player.key("3")
        player.wait_size((768, 672), "scale 3")

        poll(lambda: os.path.exists(player.audio) and audio_peak(player.audio) > 1000, "the tone in the sound output")

        if probe:
            print("figure: passes per second with vertical sync %.0f" % pass_rate(player))

        player.key("F10")
        player.answer_box("Escape")
        time.sleep(0.5)
        check(player.alive(), "No keeps the game running")
        player.focus()
        player.wait_colour(BLUE, "the game after declining")

        player.key("F10")
        player.answer_box("Return")
        check(player.wait_exit() == 0, "Yes ends with status 0")
        check(read_file(os.path.join(folder, "config.cfg")) == DEFAULT_CONFIG, "the default settings written")
        check(not os.path.exists(os.path.join(folder, "config.cfg.tmp")), "no temporary file left")
        check(player.stdout() == b"", "nothing on standard output: %r" % player.stdout())
    finally:
        player.kill()


def dark_pixels(shot, left, top, right, bottom):
    """How many nearly black pixels a screenshot has in a rectangle."""
    width, _, rgb = shot
    count = 0
    for y in range(top, bottom):
        row = rgb[3 * (y * width + left) : 3 * (y * width + right)]
        count += sum(1 for x in range(0, len(row), 3) if max(row[x : x + 3]) < 16)
    return count


def changed_share(a, b):
    """The share of pixels that differ between two screenshots of one size."""
    pixels = len(a[2]) // 3
    if len(a[2]) != len(b[2]) or pixels == 0:
        return 1.0
    return sum(1 for i in range(0, len(a[2]), 3) if a[2][i : i + 3] != b[2][i : i + 3]) / pixels


def demo_game(display, binary, root, play):
    """The bundled game: its title music is heard, Start (Return) begins the
    play, and A (X) makes the runner jump off the ground. At scale 3 the
    runner starts at window columns 330-450, standing on rows 480-560, and
    its outline is the only black there."""
    folder = os.path.join(root, "demo")
    shutil.copytree(play, folder)
    player = Player(display, binary, folder)
    try:
        player.wait_window()
        player.focus()
        poll(lambda: os.path.exists(player.audio) and audio_peak(player.audio) > 1000, "the title music")
        title = display.screenshot(player.window)
        # Held until the play begins: a press shorter than a pass of a busy
        # player would never reach the game.
        display.xdotool("keydown", "Return")
        try:
            poll(lambda: changed_share(title, display.screenshot(player.window)) > 0.2, "Start to begin the play")
        finally:
            display.xdotool("keyup", "Return")
        # The play comes in after black pictures, and its first picture before
        # its sprites: the runner is waited for, as some black in that box but
        # not all.
        poll(
            lambda: 100 < dark_pixels(display.screenshot(player.window), 330, 480, 450, 560) < 4800,
            "the runner on the ground",
            interval=0.05,
        )

        display.xdotool("keydown", "x")
        try:
            poll(
                lambda: dark_pixels(display.screenshot(player.window), 330, 480, 450, 560) < 20,
                "A (X) to make the runner jump",
                timeout=5.0,
                interval=0.05,
            )
        finally:
            display.xdotool("keyup", "x")
    finally:
        player.kill()


def pass_rate(player, seconds=2.0):
    start = poll(player.presents, "presents")
    start_time = time.monotonic()
    time.sleep(seconds)
    # The probe rewrites its file as it goes: a read that lands mid-write is
    # taken again.
    end = poll(player.presents, "presents")
    return (end[1] - start[1]) / (time.monotonic() - start_time)


def without_vsync(display, binary, root, probe):
    """Where the present returns at once (no vertical sync here; a hidden
    window elsewhere), the loop must still not spin."""
    folder = make_folder(root, "novsync")
    player = Player(display, binary, folder, probe, {"SDL_RENDER_VSYNC": "0"})
    try:
        player.wait_window()
        mapped = pass_rate(player)
        display.xdotool("windowunmap", "--sync", player.window)
        time.sleep(0.3)
        unmapped = pass_rate(player)
        print("figure: passes per second without vertical sync: mapped %.0f, unmapped %.0f" % (mapped, unmapped))
        check(0 < mapped <= 300 and 0 < unmapped <= 300, "at most about 250 passes a second")
    finally:
        player.kill()


def missing_game(display, binary, root):
    stored = b"Scale=2\nButtonA=0x0000000e\n"
    folder = make_folder(root, "nogame", game=False, config=stored)
    player = Player(display, binary, folder)
    try:
        status = player.wait_exit()
        check(status == 255, "status 255 without game.nes (got %d)" % status)
        check(player.stdout() == b"Unable to initialize emulator\n", "message: %r" % player.stdout())
        check(read_file(os.path.join(folder, "config.cfg")) == stored, "config.cfg kept unchanged")
    finally:
        player.kill()


def missing_artwork(display, binary, root):
    """Without artwork: one warning, black beside the picture in full screen,
    and a quit from full screen stores the windowed mode."""
    folder = make_folder(root, "noart", artwork=False, config=b"Windowed=0\n")
    player = Player(display, binary, folder)
    try:
        player.wait_window()
        player.focus()
        player.wait_size((1920, 1080), "full screen from the settings")
        player.wait_colour(BLUE, "the game's picture")
        side = display.pixels(player.window, [(40, 540)])[0]
        check(near(side, BLACK), "black beside the picture without artwork (%s)" % (side,))
        player.key("F10")
        player.answer_box("Return")
        check(player.wait_exit() == 0, "Yes ends with status 0")
        check(player.stdout() == b"Warning: artwork file is not found\n", "one warning: %r" % player.stdout())
        check(b"Windowed=1\n" in read_file(os.path.join(folder, "config.cfg")), "windowed mode stored")
    finally:
        player.kill()


def session_processes(leader):
    """The processes left in the session the player led: it, and a
    confirmation box's process if one outlived it."""
    left = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                stat = read_file("/proc/%s/stat" % entry).decode(errors="replace")
            except OSError:
                continue
            # The fields after the command's closing bracket: state, parent,
            # process group, session.
            fields = stat[stat.rfind(")") + 2 :].split()
            if fields[0] != "Z" and int(fields[3]) == leader:
                left.append(int(entry))
    return left


def settings_of(folder):
    try:
        return read_file(os.path.join(folder, "config.cfg"))
    except OSError:
        return b""


SCALED_CONFIG = DEFAULT_CONFIG.replace(b"Scale=3", b"Scale=2")


def change_scale(player):
    """Waits for the game and changes the scale with the key 2: a setting
    changed since start."""
    player.wait_window()
    player.focus()
    player.wait_colour(BLUE, "the game's picture")
    player.key("2")
    player.wait_size((512, 448), "scale 2")


def endings(binary, root):
    """However the session ends, the player ends in time with its settings
    written and nothing of it left running. Each row: a name, whether the
    confirmation box is up, how the end comes, and the exit status it must
    give (None: any). The scale is changed with the key 2 just before."""

    def signal_to(number):
        return lambda player, display: os.kill(player.process.pid, number)

    def server_killed(player, display):
        display.server.kill()

    rows = [
        ("SIGTERM", False, signal_to(signal.SIGTERM), 0),
        ("SIGINT", False, signal_to(signal.SIGINT), 0),
        ("SIGHUP", False, signal_to(signal.SIGHUP), 0),
        ("SIGTERM with the box up", True, signal_to(signal.SIGTERM), 0),
        ("the X server killed", False, server_killed, None),
        ("the X server killed with the box up", True, server_killed, None),
    ]
    for number, (name, box, end, status) in enumerate(rows):
        display = Display()
        folder = make_folder(root, "ending%d" % number)
        player = Player(display, binary, folder)
        try:
            change_scale(player)
            if box:
                player.key("F10")
                player.confirm_box()
            started = time.monotonic()
            end(player, display)
            ended = player.wait_exit()
            seconds = time.monotonic() - started
            print("figure: %s: the player ended in %.0f ms" % (name, 1000 * seconds))
            check(status is None or ended == status, "%s: exit status %d" % (name, ended))
            check(seconds < WAIT, "%s: ended in time" % name)
            poll(lambda: not session_processes(player.process.pid), "%s: nothing of the player left" % name)
            check(settings_of(folder) == SCALED_CONFIG, "%s: the settings written: %r" % (name, settings_of(folder)))
            if box:
                check(display.find_window("Please confirm") is None or not player.alive(), "%s: no box left" % name)
        finally:
            player.kill()
            display.close()


def kept_before_a_kill(display, binary, root):
    """A change is on disk within a second, however the process ends after;
    with nothing changed the file is left alone."""
    folder = make_folder(root, "killed")
    player = Player(display, binary, folder)
    try:
        change_scale(player)
        changed = time.monotonic()
        poll(lambda: settings_of(folder) == SCALED_CONFIG, "the new scale in config.cfg", interval=0.02)
        print("figure: a change written to config.cfg after %.0f ms" % (1000 * (time.monotonic() - changed)))
        written = os.stat(os.path.join(folder, "config.cfg")).st_ino
        time.sleep(1.5)
        check(os.stat(os.path.join(folder, "config.cfg")).st_ino == written, "config.cfg left alone while nothing changes")
        os.killpg(player.process.pid, signal.SIGKILL)
        player.process.wait()
        check(settings_of(folder) == SCALED_CONFIG, "the change kept after SIGKILL")
    finally:
        player.kill()


def sound_and_quit(display, binary, root):
    """The short run for the thread checker: play with sound, press keys,
    open and close the overlay, quit."""
    folder = make_folder(root, "quick")
    # The software renderer: the GL rasteriser's own worker threads are not
    # built for the thread checker and would only report themselves.
    player = Player(display, binary, folder, extra_env={"SDL_RENDER_DRIVER": "software", "SDL_FRAMEBUFFER_ACCELERATION": "0"})
    try:
        player.wait_window()
        player.focus()
        display.xdotool("keydown", "x")
        player.wait_colour(RED, "A (X) to reach the game")
        display.xdotool("keyup", "x")
        poll(lambda: os.path.exists(player.audio) and audio_peak(player.audio) > 1000, "the tone in the sound output")
        for _ in range(2):  # the overlay in and out: the audio thread reads its flag
            player.key("Escape")
            time.sleep(1.0)
        player.key("F10")
        player.answer_box("Return")
        status = player.wait_exit()
        report = player.stderr()
        check("WARNING: ThreadSanitizer" not in report, "no thread report:\n" + report)
        check(status == 0, "Yes ends with status 0 (got %d):\n%s" % (status, report))
    finally:
        player.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--play-dir", help="the bundled game's play folder, played when present")
    parser.add_argument("--only", help="run only the scenario of this name")
    args = parser.parse_args()
    args.player = os.path.abspath(args.player)

    root = tempfile.mkdtemp(prefix="halvenor-e2e-")
    try:
        display = Display()
    except Failure as failure:
        shutil.rmtree(root, ignore_errors=True)
        print("FAILED: %s\n0 passed, 1 failed" % failure)
        return 1
    if args.quick:
        scenarios = [("sound and quit", lambda: sound_and_quit(display, args.player, root))]
    else:
        scenarios = [
            ("play and quit", lambda: play_and_quit(display, args.player, root, args.probe)),
            ("missing game", lambda: missing_game(display, args.player, root)),
            ("missing artwork", lambda: missing_artwork(display, args.player, root)),
            ("endings", lambda: endings(args.player, root)),
            ("kept before a kill", lambda: kept_before_a_kill(display, args.player, root)),
        ]
        if args.play_dir and os.path.exists(os.path.join(args.play_dir, "game.nes")):
            scenarios.append(("demo game", lambda: demo_game(display, args.player, root, args.play_dir)))
        if args.probe:
            scenarios.append(("without vertical sync", lambda: without_vsync(display, args.player, root, args.probe)))
    if args.only:
        scenarios = [scenario for scenario in scenarios if scenario[0] == args.only]
    passed = failed = 0
    try:
        for name, scenario in scenarios:
            try:
                scenario()
                passed += 1
                print("ok: " + name)
            except Failure as failure:
                failed += 1
                print("FAILED: %s: %s" % (name, failure))
    finally:
        display.close()
        if failed == 0:
            shutil.rmtree(root, ignore_errors=True)
        else:
            print("files kept in " + root)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
