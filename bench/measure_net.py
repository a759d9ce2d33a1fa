#!/usr/bin/env python3
"""What network play costs on loopback, in real time: a host and its second player, each the real
game full screen under an Xvfb of its own, play 60 s of a two-player match (each machine taps its
fire key in turn, as measure_game.sh does), once alone and once with 16 headless watchers.
Prints four figures against their budgets:

1. how long after the driving machine a following one takes each reading of the game's clock that
   the game then draws from (a step shown), 99th percentile over every follower; the same over
   every reading, drawn from or not, is printed beside it;
2. how long a hand-over keeps the new driver waiting: from the old driver passing the turn to the
   new one's game going on, against the one-way latency of the loopback plus 5 ms;
3. the bytes each way on the player's connection during the match, per second (as TCP carries
   them: frames, entries, pings);
4. the host's CPU share during the match with 16 watchers less that with none.

The machines stamp their readings and turns into VARNIS_NET_TIMES files on the monotonic clock
they share with this script; bytes come from the kernel's TCP counters (ss), CPU from
/proc/PID/stat. Keys go in through XTest from this process, so no process is started between them
(ss runs once at each end of the measured stretch).

    bench/measure_net.py [BUILD_DIR]     (default: build; needs Xvfb and ss)

Environment: WATCHERS (16), SEED (11), MATCH_S (60: the seconds of the match measured, from the first
aim; less when a player wins sooner), KEEP (set: the stamps and logs are kept in /tmp/measure-net-*)."""
import ctypes, os, re, shutil, subprocess, sys, tempfile, time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else 'build')
VARNIS = os.path.join(BUILD, 'varnis')
WATCHERS = int(os.environ.get('WATCHERS', '16'))
SEED = os.environ.get('SEED', '11')
MATCH_S = float(os.environ.get('MATCH_S', '60'))
TICK = os.sysconf('SC_CLK_TCK')
TMP = tempfile.mkdtemp(prefix='measure-net-')
started = []  # every process this script started, ended at exit


def start(args, name, **kw):
    p = subprocess.Popen(args, cwd=BUILD, stdout=subprocess.DEVNULL, stderr=open(os.path.join(TMP, name + '.err'), 'w'),
                         **kw)
    started.append(p)
    return p


def said(name, pattern, timeout=20):
    for _ in range(int(timeout * 20)):
        m = re.search(pattern, open(os.path.join(TMP, name + '.err')).read())
        if m:
            return m
        time.sleep(0.05)
    raise SystemExit('%s never said %r: see %s' % (name, pattern, TMP))


def xvfb():
    display = os.path.join(TMP, 'display%d' % len(started))
    with open(display, 'w') as fd:
        start(['Xvfb', '-displayfd', str(fd.fileno()), '-screen', '0', '1280x1024x24', '-nolisten', 'tcp'], 'xvfb',
              pass_fds=[fd.fileno()])
    for _ in range(100):
        if open(display).read().strip():
            return ':' + open(display).read().strip()
        time.sleep(0.1)
    raise SystemExit('Xvfb did not start')


class Keyboard:
    """Key presses into one X display through XTest, as a keyboard's would arrive."""
    x11 = ctypes.CDLL('libX11.so.6')
    xtst = ctypes.CDLL('libXtst.so.6')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XStringToKeysym.restype = ctypes.c_ulong
    x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

    def __init__(self, display):
        self.d = self.x11.XOpenDisplay(display.encode())

    def key(self, name, down):
        code = self.x11.XKeysymToKeycode(self.d, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.d, code, int(down), 0)
        self.x11.XFlush(self.d)

    def tap(self, name):
        # Held for a tenth of a second, as a player's tap is: the game reads held keys once a frame.
        self.key(name, True)
        time.sleep(0.1)
        self.key(name, False)


def cpu_ticks(pid):
    return sum(int(v) for v in open('/proc/%d/stat' % pid).read().rsplit(')', 1)[1].split()[11:13])


def tcp_bytes(port, pid):
    """(sent, received) by the process's connection to the port, from the kernel's counters."""
    out = subprocess.run(['ss', '-tinpH', 'state', 'established', 'dport', '=', ':%d' % port],
                         capture_output=True, text=True).stdout
    for sock in re.split(r'\n(?=\S)', out):
        if 'pid=%d,' % pid in sock:
            get = lambda k: int((re.search(k + r':(\d+)', sock) or [0, 0])[1])
            return get('bytes_sent'), get('bytes_received')
    raise SystemExit('no connection of process %d to port %d' % (pid, port))


def loopback_latency():
    """Half the median round trip of one byte over a loopback TCP connection, in ms."""
    import socket
    server = socket.create_server(('127.0.0.1', 0))
    a = socket.create_connection(server.getsockname())
    b, _ = server.accept()
    for s in (a, b):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    trips = []
    for _ in range(200):
        t = time.monotonic()
        a.send(b'x')
        b.send(b.recv(1))
        a.recv(1)
        trips.append(time.monotonic() - t)
    for s in (a, b, server):
        s.close()
    return sorted(trips)[len(trips) // 2] / 2 * 1000


def read_times(path):
    readings, turns = [], []
    for line in open(path):
        w = line.split()
        if w[0] == 'r':  # ms, driving, drawing counter, stamp
            readings.append((int(w[1]), int(w[2]), int(w[3]), int(w[4]) / 1000.0))
        else:  # turn, driver, stamp
            turns.append((int(w[1]), int(w[2]), int(w[3]) / 1000.0))
    return readings, turns


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(len(v) * p))] if v else float('nan')


def play(displays, watchers):
    """One match; returns the figures of its stretch from the first aim to the winner's text."""
    name = 'w%d' % watchers
    trace = os.path.join(TMP, name + '-host.trace')
    open(trace, 'w').close()

    def env(who, display=None):
        e = dict(os.environ, SDL_AUDIODRIVER='dummy', VARNIS_NET_TIMES=os.path.join(TMP, '%s-%s.times' % (name, who)))
        if display:
            e['DISPLAY'] = display
        if who == 'host':
            e['VARNIS_TRACE_FILE'] = trace
        return e

    host = start([VARNIS, '--seed', SEED, '--host', '127.0.0.1:0'], name + '-host', env=env('host', displays[0]))
    m = said(name + '-host', r'--join 127\.0\.0\.1:(\d+) --code (\S+)')
    port, code = int(m.group(1)), m.group(2)
    join = [VARNIS, '--join', '127.0.0.1:%d' % port, '--code', code]
    guest = start(join, name + '-guest', env=env('guest', displays[1]))
    said(name + '-guest', 'joined')
    for i in range(watchers):
        start([VARNIS, '--headless'] + join[1:] + ['--watch'], '%s-watcher%d' % (name, i),
              env=env('watcher%d' % i))
        said('%s-watcher%d' % (name, i), 'joined')
    keys = [Keyboard(d) for d in displays]
    time.sleep(2)  # the windows up, the watchers caught up with the title
    keys[0].tap('Down')
    time.sleep(0.3)
    keys[0].tap('Return')  # two players
    time.sleep(3)  # the landscape builds

    seen = ''
    trace_file = open(trace)

    def winner_within(seconds):
        nonlocal seen
        until = time.monotonic() + seconds
        while time.monotonic() < until:
            seen += trace_file.read()
            if 'Win!' in seen:
                return True
            time.sleep(0.1)
        return False

    watching = [p.pid for p in started if p.args[-1] == '--watch']
    t0, c0, b0 = time.monotonic(), cpu_ticks(host.pid), tcp_bytes(port, guest.pid)
    w0 = sum(map(cpu_ticks, watching))
    won = False
    # The right-hand fortress (the player's machine) shoots first; a key pressed on the machine
    # that does not drive is dropped there, so the taps need not keep in step with the turns.
    while not won and time.monotonic() - t0 < MATCH_S:
        for k, fire in ((keys[1], 'Return'), (keys[0], 'space')):
            k.tap(fire)
            if winner_within(1.5):
                won = True
                break
    t1, c1, b1 = time.monotonic(), cpu_ticks(host.pid), tcp_bytes(port, guest.pid)
    w1 = sum(map(cpu_ticks, watching))
    keys[0].tap('Escape')
    time.sleep(1)
    keys[0].tap('Pause')  # the host's end is everyone's
    for p in started:
        if p.args[0] == VARNIS:
            try:
                p.wait(timeout=30)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
    started[:] = [p for p in started if p.args[0] != VARNIS]

    # Line the machines' readings up (each takes the same ones, in the same order) and compare
    # every follower's stamp with the driver's, over the match.
    ms0, ms1 = t0 * 1000, t1 * 1000
    times = {}
    for who in ['host', 'guest'] + ['watcher%d' % i for i in range(watchers)]:
        times[who] = read_times(os.path.join(TMP, '%s-%s.times' % (name, who)))
    drivers = (times['host'][0], times['guest'][0])
    player_lags, watcher_lags, every_lag = [], [], []
    for who, (readings, _) in times.items():
        for i, (ms, driving, _, stamp) in enumerate(readings):
            if driving or i + 1 >= min(len(d) for d in drivers):
                continue
            driver = drivers[0] if drivers[0][i][1] else drivers[1]
            if driver[i][0] != ms or not driver[i][1]:
                raise SystemExit('%s reading %d is not the driver\'s: see %s' % (who, i, TMP))
            if ms0 <= driver[i][3] <= ms1:
                every_lag.append(stamp - driver[i][3])
                # A step shown: the game drew from this reading before it took the next.
                if driver[i + 1][2] != driver[i][2]:
                    (watcher_lags if who.startswith('watcher') else player_lags).append(stamp - driver[i][3])
    # A hand-over: from the old driver's stamp of the turn (the turn sent) to the new one's.
    turns = [dict((n, (d, stamp)) for n, d, stamp in times[who][1]) for who in ('host', 'guest')]
    handovers, before = [], 0
    for n in sorted(turns[0]):
        driver, stamp = turns[0][n]
        if driver != before and n in turns[1] and ms0 <= stamp <= ms1:
            handovers.append(turns[driver][n][1] - turns[before][n][1])
        before = driver
    return dict(seconds=t1 - t0, every_lag=every_lag, cpu=100.0 * (c1 - c0) / TICK / (t1 - t0), player_lags=player_lags,
                load=os.getloadavg()[0], watchers_cpu=100.0 * (w1 - w0) / TICK / (t1 - t0),
                watcher_lags=watcher_lags, handovers=handovers,
                up=(b1[0] - b0[0]) / (t1 - t0) / 1024, down=(b1[1] - b0[1]) / (t1 - t0) / 1024)


def main():
    if not os.access(VARNIS, os.X_OK) or not shutil.which('Xvfb'):
        raise SystemExit('needs %s and Xvfb' % VARNIS)
    displays = [xvfb(), xvfb()]
    latency = loopback_latency()
    runs = {n: play(displays, n) for n in sorted({0, WATCHERS})}
    alone, full = runs[0], runs[WATCHERS]

    def verdict(ok):
        return 'within budget' if ok else 'OVER BUDGET'

    print('Network play on loopback, real time; host and player full screen under Xvfb, watchers headless')
    for n, r in runs.items():
        print('  match with %d watchers: %.1f s from the first aim; the watchers took %.0f%% of a '
              'core together, the load average was %.1f at the end' % (n, r['seconds'], r['watchers_cpu'], r['load']))
    lags = [(n, r['player_lags'] + r['watcher_lags'], r) for n, r in runs.items()]
    worst = max(percentile(v, 0.99) for _, v, _ in lags)
    print('1. a follower takes each step it draws after the driver: 99th percentile %.2f ms (budget 5 ms): %s' %
          (worst, verdict(worst <= 5)))
    for n, v, r in lags:
        print('     %2d watchers: %d steps followed; median %.2f, 99th percentile %.2f, most %.2f ms; the player '
              '%.2f, the watchers %.2f ms at the 99th percentile; every reading (drawn from or not) %.2f' %
              (n, len(v), percentile(v, 0.5), percentile(v, 0.99), max(v), percentile(r['player_lags'], 0.99),
               percentile(r['watcher_lags'], 0.99), percentile(r['every_lag'], 0.99)))
    worst = max(max(r['handovers']) for r in runs.values())
    print('2. a hand-over keeps the new driver waiting at most %.2f ms; budget: the one-way latency %.3f ms + 5 ms: '
          '%s' % (worst, latency, verdict(worst <= latency + 5)))
    for n, r in runs.items():
        print('     %2d watchers: %d hand-overs, median %.2f, most %.2f ms' %
              (n, len(r['handovers']), percentile(r['handovers'], 0.5), max(r['handovers'])))
    worst = max(max(r['up'], r['down']) for r in runs.values())
    print('3. the stream on the player\'s connection: %s KB/s from the player, %s KB/s to it (budget under 2 '
          'KB/s each way): %s' % (' and '.join('%.2f' % r['up'] for r in runs.values()),
                                  ' and '.join('%.2f' % r['down'] for r in runs.values()), verdict(worst < 2)))
    added = full['cpu'] - alone['cpu']
    print('4. the host: %.1f%% of a core with no watchers, %.1f%% with %d: %+.1f%% (budget under 2%%): %s' %
          (alone['cpu'], full['cpu'], WATCHERS, added, verdict(added < 2)))


try:
    main()
    if not os.environ.get('KEEP'):
        shutil.rmtree(TMP, ignore_errors=True)
finally:
    for p in started:
        p.kill()
        p.wait()
