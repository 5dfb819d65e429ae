"""A desktop's sound server of its own, for hearing the player as a player
does: PipeWire with its session manager and its PulseAudio service, on a
private D-Bus session bus, in a private runtime folder, with one null sink at
48 kHz as the only and default output, and what that sink plays recorded from
its monitor.

    session = SoundSession(folder)   starts the bus and the server (beside=True
                                     adds a second sink, BESIDE)
    session.env                      the environment a client needs
    session.stop_server()            ends the server, keeps the bus
    session.start_server()           starts it again
    session.record(path[, sink])     a Recording of a sink's monitor
    session.client_env(env)          env with the session's variables added
    session.play_beside(path)        a plain client (paplay, the server's
                                     default buffering) playing a tone file
                                     written by write_square_tone to BESIDE
    session.close()                  ends everything it started

    tone_crossings(samples, rate)    times of a square tone's rising edges
    tone_figures(times)              its pitch, breaks and longest break
    first_edge(recording)            where a recording's tone starts
    heard(recording, start, seconds) the tone's figures once that long
    break_times(recording, start)    when its breaks left the sink

Every process is started here and ended here by its process id.
"""

import array
import os
import shutil
import subprocess
import threading
import time

# Seconds: the longest a start may take on a busy machine.
WAIT = 60.0

SINK = "halvenor_test"
# A second output, for a plain client that plays beside the player.
BESIDE = "halvenor_beside"
RATE = 48000

# The sinks exist from the server's start, so a client that connects at
# once finds one, and after a restart they are the same sinks again.
NULL_SINK = """    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "%s"
               media.class = Audio/Sink audio.rate = %d audio.position = [ FL FR ] } }
"""


def sink_config(sinks):
    return "context.properties = { default.clock.rate = %d }\ncontext.objects = [\n%s]\n" % (
        RATE,
        "".join(NULL_SINK % (sink, RATE) for sink in sinks),
    )


# The variables that put a client in the session.
SESSION_VARIABLES = ("XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "HOME",
                     "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER")
# The plain client's tone file: 16-bit stereo at the player's rate.
CLIENT_RATE = 44100


class Failure(Exception):
    pass


def _poll(probe, what, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while not probe():
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


class SoundSession:
    def __init__(self, folder, beside=False):
        self.folder = folder
        self.sinks = [SINK, BESIDE] if beside else [SINK]
        self.servers = []
        self.recorders = []
        run = os.path.join(folder, "run")
        os.makedirs(run, mode=0o700)
        config = os.path.join(folder, "config")
        os.makedirs(os.path.join(config, "pipewire", "pipewire.conf.d"))
        with open(os.path.join(config, "pipewire", "pipewire.conf.d", "sink.conf"), "w") as f:
            f.write(sink_config(self.sinks))
        # No Bluetooth: its monitor asks the login manager about seats, and
        # where none runs (a bare system, a container) the session manager
        # ends at start.
        bluetooth = os.path.join(config, "wireplumber", "bluetooth.lua.d")
        os.makedirs(bluetooth)
        with open(os.path.join(bluetooth, "60-no-bluetooth.lua"), "w") as f:
            f.write("bluez_monitor.enabled = false\n")
        bus = os.path.join(folder, "bus")
        # Home, configuration and state all private: the session manager
        # stores the default output, and must neither read nor change the
        # machine's own.
        self.env = dict(
            os.environ,
            XDG_RUNTIME_DIR=run,
            XDG_CONFIG_HOME=config,
            XDG_STATE_HOME=os.path.join(folder, "state"),
            XDG_DATA_HOME=os.path.join(folder, "data"),
            HOME=folder,
            DBUS_SESSION_BUS_ADDRESS="unix:path=" + bus,
            PULSE_SERVER="unix:" + os.path.join(run, "pulse", "native"),
        )
        self.env.pop("PIPEWIRE_REMOTE", None)
        self.bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus],
            env=self.env,
            stdout=subprocess.DEVNULL,
            stderr=self._log("dbus"),
        )
        try:
            _poll(lambda: os.path.exists(bus), "the session bus")
            self.start_server()
        except BaseException:
            # Nothing of a session that did not start is left running.
            self.close()
            raise

    def _log(self, name):
        return open(os.path.join(self.folder, name + ".log"), "ab")

    def pactl(self, *args):
        return subprocess.run(["pactl"] + list(args), env=self.env, capture_output=True, timeout=WAIT)

    def start_server(self):
        """Starts the server and returns once its PulseAudio service knows the
        sink as the default output."""
        # Each in a session of its own, as a desktop's service manager starts
        # them: the kernel shares the processor between sessions first, so a
        # server that shared the caller's session would share its load.
        for program in ("pipewire", "wireplumber", "pipewire-pulse"):
            self.servers.append(
                subprocess.Popen(
                    [program], env=self.env, stdout=subprocess.DEVNULL, stderr=self._log(program),
                    start_new_session=True,
                )
            )

        def ready():
            for server in self.servers:
                if server.poll() is not None:
                    raise Failure("%s ended at start (status %s)" % (server.args[0], server.returncode))
            listed = self.pactl("list", "short", "sinks")
            if listed.returncode != 0 or not all(sink.encode() in listed.stdout for sink in self.sinks):
                return False
            info = self.pactl("info")
            if ("Default Sink: " + SINK).encode() in info.stdout:
                return True
            self.pactl("set-default-sink", SINK)
            return False

        _poll(ready, "the sound server and its default sink")

    def stop_server(self):
        # The service first, as a crash of the whole server would leave it.
        for server in reversed(self.servers):
            server.terminate()
            try:
                server.wait(WAIT)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        self.servers = []

    def client_env(self, env):
        return dict(env, **{name: self.env[name] for name in SESSION_VARIABLES})

    def play_beside(self, path):
        return subprocess.Popen(
            ["paplay", "--raw", "--format=s16le", "--rate=%d" % CLIENT_RATE, "--channels=2", "-d", BESIDE, path],
            env={name: value for name, value in self.env.items() if name != "PULSE_LATENCY_MSEC"},
        )

    def record(self, path, sink=SINK):
        recording = Recording(self, path, sink)
        self.recorders.append(recording)
        return recording

    def close(self):
        for recording in self.recorders:
            recording.stop()
        self.stop_server()
        self.bus.kill()
        self.bus.wait()


class Recording:
    """The sink's monitor, mono 16-bit at the sink's rate, written to a file
    by a reader thread that also notes when each block arrived, so a sample's
    index can be turned into the time it left the sink."""

    BLOCK = 480  # samples: 10 ms

    def __init__(self, session, path, sink):
        self.path = path
        self.arrivals = []  # (samples so far, time.time())
        self.process = subprocess.Popen(
            ["parec", "-d", sink + ".monitor", "--raw", "--format=s16le", "--channels=1",
             "--rate=%d" % RATE, "--latency-msec=10"],
            env=session.env,
            stdout=subprocess.PIPE,
            stderr=session._log("parec"),
        )
        self.count = 0
        # Made here, so that it can be read as soon as this returns.
        out = open(self.path, "wb")
        self.thread = threading.Thread(target=self._read, args=(out,), daemon=True)
        self.thread.start()

    def _read(self, out):
        with out:
            while True:
                block = self.process.stdout.read(2 * self.BLOCK)
                if not block:
                    break
                out.write(block)
                out.flush()
                self.count += len(block) // 2
                self.arrivals.append((self.count, time.time()))

    def seconds(self):
        return self.count / RATE

    def time_of(self, index):
        """When sample index left the sink (the wall clock, as time.time), by
        the arrival of its block."""
        for count, arrived in self.arrivals:
            if count > index:
                return arrived - (count - 1 - index) / RATE
        return None

    def samples(self):
        data = array.array("h")
        with open(self.path, "rb") as f:
            raw = f.read()
        data.frombytes(raw[: len(raw) // 2 * 2])
        return data

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.thread.join()


def write_square_tone(path, seconds, pitch=440.0):
    """A square tone at half duty, as the player's pulse channel plays it."""
    half = CLIENT_RATE / pitch / 2
    levels = {False: array.array("h", [6000, 6000]).tobytes(), True: array.array("h", [-6000, -6000]).tobytes()}
    with open(path, "wb") as f:
        f.write(b"".join(levels[int(i / half) % 2 == 1] for i in range(int(seconds * CLIENT_RATE))))


def tone_crossings(samples, start=0):
    """Sample indices of the rising edges of a square tone: the signal going
    above three quarters of its swing after being below a quarter, so that
    the resampler's ripple on the edges counts once and silence never."""
    if len(samples) <= start:
        return []
    low, high = min(samples[start:]), max(samples[start:])
    if high - low < 1000:
        return []
    below = low + (high - low) // 4
    above = low + 3 * (high - low) // 4
    edges, armed = [], False
    for i in range(start, len(samples)):
        value = samples[i]
        if value < below:
            armed = True
        elif armed and value > above:
            edges.append(i)
            armed = False
    return edges


def tone_breaks(edges):
    """(period, [(edge, samples late)]) of a tone's edges: a break is an
    edge that comes more than half a period late; each is named by the edge
    before it."""
    gaps = [b - a for a, b in zip(edges, edges[1:])]
    period = sorted(gaps)[len(gaps) // 2]
    return period, [(a, g - period) for a, g in zip(edges, gaps) if g > 1.5 * period]


def tone_figures(edges, rate=RATE):
    """(pitch in Hz, breaks, longest break in ms) of the edges. The pitch
    is taken from the periods between breaks alone: the edges around a
    break, late or cut short, say nothing of it."""
    if len(edges) < 3:
        return 0.0, 0, 0.0
    period, breaks = tone_breaks(edges)
    steady = [b - a for a, b in zip(edges, edges[1:]) if 0.5 * period <= b - a <= 1.5 * period]
    late = [samples for _, samples in breaks]
    return rate * len(steady) / sum(steady), len(late), 1000.0 * max(late, default=0) / rate


# Seconds of a recording left out after its first edge, as the tone starts.
SETTLE = 1.0


def first_edge(recording, start=0):
    """The sample index where the recording's tone starts, once it plays."""
    edges = tone_crossings(recording.samples(), start)
    return edges[0] if len(edges) > 10 else None


def heard(recording, start, seconds):
    """tone_figures of the recording from sample start on, once it holds
    seconds of tone past SETTLE; None until then."""
    need = start + int((SETTLE + seconds) * RATE)
    if recording.count < need:
        return None
    samples = recording.samples()[:need]
    return tone_figures(tone_crossings(samples, start + int(SETTLE * RATE)))


def break_times(recording, start):
    """When each break of the recording's tone from sample start on (past
    SETTLE) left the sink, by the wall clock."""
    edges = tone_crossings(recording.samples(), start + int(SETTLE * RATE))
    if len(edges) < 3:
        return []
    return [recording.time_of(edge) for edge, _ in tone_breaks(edges)[1]]


def programs_present():
    return all(shutil.which(p) for p in ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "parec", "pactl"))
