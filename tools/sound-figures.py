#!/usr/bin/env python3
"""The player's sound as a desktop's sound server plays it: breaks beside a
plain client, and the time from a register write to the sound.

    tools/sound-figures.py --player BIN breaks [--runs 3] [--seconds 18]
    tools/sound-figures.py --player BIN latency [--presses 10]

--driver DRIVER sets SDL_AUDIODRIVER for the player, to compare the host
library's drivers; by default the player chooses.

Both run a private PipeWire session (tests/support/sound_session.py) and
the player in a private X server, playing a test cartridge; nothing of the
machine's own sound or display is touched.

breaks: per run, the player plays a steady 440 Hz tone to one null sink
while a plain client (paplay, with the server's default buffering) plays
the same tone to another; both monitors are recorded and their breaks
counted, first on the machine as it is and then beside four busy processes.
The first 3 s of each recording are thrown away.

latency: the tone sounds while A (X) is held. For each press, the time from
the player handing the key to the game (the register write follows in the
same pass) to the tone's first edge leaving the sink. The press is seen by
the preloaded present probe (--probe, built with the Release build).
"""

import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "host"))

import e2e_player  # noqa: E402
import sound_session  # noqa: E402

SETTLE = 3.0  # seconds thrown away at the start of a recording
BUSY = 4
TONE = 440


def busy_processes(count):
    """count busy loops in one session of their own, as a build started from
    a terminal would be."""
    loop = 'sh -c "while :; do :; done" & ' * count
    return subprocess.Popen(["sh", "-c", loop + "wait"], start_new_session=True)


def end_busy(busy):
    os.killpg(busy.pid, signal.SIGKILL)
    busy.wait()


def figures(recording):
    samples = recording.samples()
    return sound_session.tone_figures(sound_session.tone_crossings(samples, int(SETTLE * sound_session.RATE)))


def one_run(display, player, session, root, seconds, loaded, index):
    tone = os.path.join(root, "client.raw")
    sound_session.write_square_tone(tone, SETTLE + seconds + 5, TONE)
    client = session.play_beside(tone)
    busy = busy_processes(BUSY) if loaded else None
    try:
        ours = session.record(os.path.join(root, "player-%d-%d.raw" % (loaded, index)))
        theirs = session.record(os.path.join(root, "client-%d-%d.raw" % (loaded, index)), sound_session.BESIDE)
        while min(ours.seconds(), theirs.seconds()) < SETTLE + seconds:
            e2e_player.check(player.alive(), "the player ended: " + player.stderr())
            time.sleep(0.2)
        ours.stop()
        theirs.stop()
    finally:
        if busy:
            end_busy(busy)
        client.kill()
        client.wait()
    return figures(ours), figures(theirs)


def breaks(args, display, session, root):
    folder = e2e_player.make_folder(root, "tone")
    env = dict(session.client_env(display.env), SDL_AUDIODRIVER=args.driver)
    player = e2e_player.Player(display, args.player, folder, extra_env=env)
    try:
        player.wait_window()
        print("case    run  player: Hz, breaks, longest ms    plain client: Hz, breaks, longest ms   load")
        for loaded in (False, True):
            for index in range(args.runs):
                (p, c) = one_run(display, player, session, root, args.seconds, loaded, index)
                print("%-7s %3d  %8.2f %4d %8.1f              %8.2f %4d %8.1f          %.1f" % (
                    "loaded" if loaded else "idle", index + 1, p[0], p[1], p[2], c[0], c[1], c[2],
                    os.getloadavg()[0]))
    finally:
        player.kill()


def held_tone_cartridge():
    """The end-to-end cartridge, with its tone at volume 0 unless A is held:
    the NMI handler writes $4000 from the pad after reading it."""
    image = bytearray(e2e_player.test_cartridge())
    program = image[16:]
    # Reset writes $BF to $4000: make it silent ($B0).
    reset = program.index(bytes([0xA9, 0xBF, 0x8D, 0x00, 0x40]))
    program[reset + 1] = 0xB0
    # After "AND #$01; STA $00" the NMI handler has A (the button) in the
    # accumulator: jump to a patch that turns it into the volume.
    store = program.index(bytes([0x29, 0x01, 0x85, 0x00])) + 4
    patch = 0x3F00
    back = 0xC000 + store
    program[store : store + 3] = bytes([0x4C, patch & 0xFF, 0xC0 + (patch >> 8)])
    moved = bytes(e2e_player.test_cartridge()[16 + store : 16 + store + 3])
    code = bytes([
        0xF0, 0x04,              # BEQ silent
        0xA9, 0xBF,              # LDA #$BF
        0xD0, 0x02,              # BNE write
        0xA9, 0xB0,              # silent: LDA #$B0
        0x8D, 0x00, 0x40,        # write: STA $4000
    ]) + moved + bytes([0x4C, back + 3 & 0xFF, (back + 3) >> 8])
    program[patch : patch + len(code)] = code
    return bytes(image[:16]) + bytes(program)


def latency(args, display, session, root):
    folder = e2e_player.make_folder(root, "held")
    with open(os.path.join(folder, "game.nes"), "wb") as f:
        f.write(held_tone_cartridge())
    env = dict(session.client_env(display.env), SDL_AUDIODRIVER=args.driver)
    player = e2e_player.Player(display, args.player, folder, probe=args.probe, extra_env=env)
    recording = None
    try:
        player.wait_window()
        player.focus()
        recording = session.record(os.path.join(root, "held.raw"))
        e2e_player.poll(lambda: recording.seconds() > 1.0, "the recording to start")
        delays = []
        for _ in range(args.presses):
            start = recording.count
            player.display.xdotool("keydown", "x")
            edges = e2e_player.poll(
                lambda: sound_session.tone_crossings(recording.samples(), start), "the tone to sound", interval=0.05
            )
            player.display.xdotool("keyup", "x")
            _, keys = e2e_player.probe_log(player)
            pressed = [k[2] for k in keys if k[0] == ord("x")][-1]
            # The first edge comes up to half a period after the tone begins.
            began = recording.time_of(edges[0]) - 0.5 / TONE
            delays.append((began - pressed / 1e9) * 1000.0)
            time.sleep(0.3)
        print("press to sound, ms: " + " ".join("%.1f" % d for d in delays))
        print("median %.1f ms, min %.1f, max %.1f" % (statistics.median(delays), min(delays), max(delays)))
    finally:
        if recording:
            recording.stop()
        player.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=18.0)
    parser.add_argument("--presses", type=int, default=10)
    parser.add_argument("--driver", default="", help="the host library's audio driver, as SDL_AUDIODRIVER")
    parser.add_argument("what", choices=("breaks", "latency"))
    args = parser.parse_args()
    root = tempfile.mkdtemp(prefix="sound-figures-")
    session = sound_session.SoundSession(os.path.join(root, "sound"), beside=args.what == "breaks")
    display = None
    try:
        display = e2e_player.Display()
        (breaks if args.what == "breaks" else latency)(args, display, session, root)
    finally:
        if display:
            display.close()
        session.close()


if __name__ == "__main__":
    main()
