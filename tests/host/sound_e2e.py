#!/usr/bin/env python3
"""End to end: the player heard through a desktop's sound server.

A private PipeWire session (tests/support/sound_session.py) with a null sink
at 48 kHz as the default output, the player in a private X server playing
the end-to-end cartridge's steady tone (440 Hz: period 253, 16 steps), and
the sink's monitor recorded. Beside the player a plain client (paplay, with
the server's default buffering) plays the same tone to a second sink, so
that a stall of the whole machine, which breaks any client, is told from a
break of the player's own.

Checks: the pitch, and no break of the player's own (one the plain client
had at the same moment is the machine's) in one of up to three windows of
10 s; then the server is stopped and started again, and the tone must come
back, at its pitch, with nothing printed.

    sound_e2e.py --player BIN
"""

import argparse
import os
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

import e2e_player  # noqa: E402
import sound_session  # noqa: E402

SKIPPED = 77
PITCH = 440.0
SECONDS = 10.0  # of steady tone judged at a time
# A stall of the whole machine breaks every client at once: a break of the
# player's within this many seconds of one of the plain client's is the
# machine's. Windows judged before the player is found to break on its own
# in each: a busy machine may stall the player's thread alone now and then.
TOGETHER = 0.1
WINDOWS = 3
AFTER = 3.0  # of tone judged after the server's return
# Seconds the server stays away: long enough for several tries to fail.
AWAY = 1.5
# Seconds from the server's return to the tone that a busy machine is
# granted; the player itself tries four times a second.
BACK = 5.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--player", required=True)
    args = parser.parse_args()
    if not sound_session.programs_present():
        print("skipped: the PipeWire session's programs are not installed")
        return SKIPPED
    root = tempfile.mkdtemp(prefix="halvenor-sound-")
    session = sound_session.SoundSession(os.path.join(root, "sound"), beside=True)
    display = player = client = None
    try:
        display = e2e_player.Display()
        # The player chooses the host library's driver, as for a player.
        env = dict(session.client_env(display.env), SDL_AUDIODRIVER="")
        player = e2e_player.Player(display, args.player, e2e_player.make_folder(root, "tone"), extra_env=env)
        player.wait_window()

        tone = os.path.join(root, "client.raw")
        sound_session.write_square_tone(tone, WINDOWS * SECONDS + sound_session.SETTLE + e2e_player.WAIT, PITCH)
        client = session.play_beside(tone)
        ours = session.record(os.path.join(root, "player.raw"))
        theirs = session.record(os.path.join(root, "client.raw.rec"), sound_session.BESIDE)
        start = e2e_player.poll(lambda: sound_session.first_edge(ours), "the player's tone")
        client_start = e2e_player.poll(lambda: sound_session.first_edge(theirs), "the plain client's tone")
        own = []
        for window in range(WINDOWS):
            offset = int(window * SECONDS * sound_session.RATE)
            pitch, breaks, longest = e2e_player.poll(
                lambda: sound_session.heard(ours, start + offset, SECONDS), "%g s of the player's tone" % SECONDS)
            _, client_breaks, client_longest = e2e_player.poll(
                lambda: sound_session.heard(theirs, client_start + offset, SECONDS), "the client's tone")
            print("player: %.2f Hz, %d breaks, longest %.1f ms; plain client: %d breaks, longest %.1f ms" % (
                pitch, breaks, longest, client_breaks, client_longest))
            e2e_player.check(abs(pitch - PITCH) < 0.5, "the tone plays at %.2f Hz" % pitch)
            # Every break of the client's so far, so that one just outside
            # its window still counts.
            machine = sound_session.break_times(theirs, client_start)
            own = [t for t in sound_session.break_times(ours, start + offset)[:breaks]
                   if all(abs(t - m) > TOGETHER for m in machine)]
            if not own:
                break
        e2e_player.check(not own, "the player's tone broke on its own %d times in each of %d windows of %g s" % (
            len(own), WINDOWS, SECONDS))

        client.kill()
        client.wait()
        client = None
        session.stop_server()
        time.sleep(AWAY)
        e2e_player.check(player.alive(), "the player ended with the server: " + player.stderr())
        session.start_server()
        back = time.time()
        after = session.record(os.path.join(root, "after.raw"))
        edge = e2e_player.poll(lambda: sound_session.first_edge(after), "the tone after the server's return")
        delay = after.time_of(edge) - back
        pitch, _, _ = e2e_player.poll(lambda: sound_session.heard(after, edge, AFTER), "the tone after the return")
        print("after the server's return: the tone in %.2f s, at %.2f Hz" % (delay, pitch))
        e2e_player.check(delay < BACK, "the tone came back %.2f s after the server" % delay)
        e2e_player.check(abs(pitch - PITCH) < 0.5, "the tone plays at %.2f Hz after the return" % pitch)
        e2e_player.check(player.stdout() == b"", "the player printed %r" % player.stdout())
        print("ok")
        return 0
    except (e2e_player.Failure, sound_session.Failure) as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        if client:
            client.kill()
            client.wait()
        if player:
            player.kill()
        if display:
            display.close()
        session.close()


if __name__ == "__main__":
    sys.exit(main())
