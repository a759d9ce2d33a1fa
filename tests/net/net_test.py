#!/usr/bin/env python3
"""Network play over loopback, headless: a host, a second player and a watcher must trace exactly
the one-keyboard run of the same keys, directly and through a proxy that delays every byte by
100-150 ms; a recording made on the second player's machine replays to its trace; garbage, an
oversized frame and a wrong code on the port leave the host playing; a second player killed or
gone silent mid-match ends the match and leaves the host playing on; a follower's Escape ends the
match on every machine at one reading; another version, replay number or data file is refused; a
picture that differs is reported on both sides and ends the match. Given the Windows program, only
its match against this one is played, under wine: as the host, then as the second player.
usage: net_test.py VARNIS BUILD_DIR [VARNIS_EXE]"""
import asyncio, http.client, os, random, re, shutil, signal, socket, subprocess, sys, tempfile, threading, time

VARNIS, BUILD = os.path.abspath(sys.argv[1]), sys.argv[2]
WINE = ['wine', os.path.abspath(sys.argv[3])] if len(sys.argv) > 3 else None
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'match.script')
# Inside the build folder, removed when every case passed (kept to look at otherwise).
TMP = tempfile.mkdtemp(prefix='net-', dir=BUILD)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what, flush=True)


def done():
    print('\n'.join(failures) if failures else 'all network cases pass')
    if failures:
        print('kept:', TMP)
    else:
        shutil.rmtree(TMP, ignore_errors=True)
    sys.exit(1 if failures else 0)


def split_script(name='', guest_extra=()):
    host, guest = [], list(guest_extra)
    for line in open(SCRIPT):
        w = line.split()
        if not w or w[0].startswith('#'):
            continue
        (guest if w[2] == '13' and int(w[0]) > 1000 else host).append(line)
    paths = []
    for who, lines in (('host', host), ('guest', guest)):
        paths.append(os.path.join(TMP, who + name + '.script'))
        open(paths[-1], 'w').writelines(sorted(lines, key=lambda l: int(l.split()[0])))
    return paths


def start_host(script, name, *extra, env=None, program=(VARNIS,)):
    # A headless host playing the script; with no script, one in a window.
    err = open(os.path.join(TMP, name + '.err'), 'w+')
    play = ['--headless', '--script', script, '--seed', '11'] if script else ['--window']
    p = subprocess.Popen(list(program) + play + ['--host', '127.0.0.1:0'] + list(extra), cwd=BUILD, env=env,
                         stdout=subprocess.PIPE, stderr=err, text=True)
    for _ in range(200):
        err.seek(0)
        m = re.search(r'--join 127\.0\.0\.1:(\d+) --code (\S+)', err.read())
        if m:
            return p, int(m.group(1)), m.group(2), err
        time.sleep(0.05)
    raise SystemExit('the host printed no line to share')


def join(port, code, *extra, script=None, cwd=BUILD, env=None, program=(VARNIS,)):
    args = list(program) + ['--headless', '--join', '127.0.0.1:%d' % port, '--code', code] + list(extra)
    if script:
        args += ['--script', script]
    return subprocess.Popen(args, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish(p, what):
    try:
        out, err = p.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        p.kill()
        out, err = p.communicate()
        check(False, what + ' hung')
    return out, err or '', p.returncode


def garbage(port):
    """Things a hostile peer sends; each must cost the host nothing but a logged line."""
    for payload in (b'\x00\xff' * 300, b'GET / HTTP/1.1\r\nHost: x\r\n\r\n'):
        with socket.create_connection(('127.0.0.1', port)) as s:
            s.sendall(payload)
            s.settimeout(5)
            try:
                s.recv(4096)
            except OSError:
                pass
    # A WebSocket whose first frame claims 1 MiB, past the frame limit.
    with socket.create_connection(('127.0.0.1', port)) as s:
        s.sendall(b'GET /play HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n'
                  b'Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n')
        s.settimeout(5)
        check(b'101' in s.recv(4096), 'the host accepts a WebSocket')
        s.sendall(bytes([0x82, 0xFF]) + (1 << 20).to_bytes(8, 'big') + b'\0\0\0\0' + b'x' * 4096)
        try:
            while s.recv(4096):
                pass
        except OSError:
            pass


def delay_proxy(target_port):
    """Forwards a connection to the host, every byte 100-150 ms late, in order."""
    loop = asyncio.new_event_loop()
    ready = threading.Event()
    box = {}

    async def pipe(reader, writer):
        # One queue a direction, written by one task: bytes keep their order (timers due at the
        # same moment would not).
        queue = asyncio.Queue()

        async def deliver():
            while (item := await queue.get()) is not None:
                due, data = item
                await asyncio.sleep(max(0.0, due - loop.time()))
                writer.write(data)
            writer.close()

        sender = loop.create_task(deliver())
        due = 0.0
        try:
            while data := await reader.read(65536):
                due = max(due, loop.time() + random.uniform(0.100, 0.150))
                queue.put_nowait((due, data))
        finally:
            queue.put_nowait(None)
            await sender

    async def serve(reader, writer):
        r2, w2 = await asyncio.open_connection('127.0.0.1', target_port)
        await asyncio.gather(pipe(reader, w2), pipe(r2, writer))

    async def main():
        server = await asyncio.start_server(serve, '127.0.0.1', 0)
        box['port'] = server.sockets[0].getsockname()[1]
        ready.set()
        await server.serve_forever()

    threading.Thread(target=lambda: loop.run_until_complete(main()), daemon=True).start()
    ready.wait()
    return box['port']


host_script, guest_script = split_script()
golden = subprocess.run([VARNIS, '--headless', '--script', SCRIPT, '--seed', '11'], cwd=BUILD,
                        capture_output=True, text=True).stdout
check(golden.endswith(' exit 1\n') and 'Player Win!' in golden, 'the one-keyboard run plays a match to a winner')

def stamped(name):
    return dict(os.environ, VARNIS_NET_TIMES=os.path.join(TMP, name + '.times'))

if WINE:
    for hosting, joining in ((WINE, [VARNIS]), ([VARNIS], WINE)):
        host, port, code, _ = start_host(host_script, 'host', program=hosting)
        guest = join(port, code, script=guest_script, program=joining)
        for name, p, program in (('host', host, hosting), ('guest', guest, joining)):
            trace, err, status = finish(p, name)
            check(trace == golden and status == 1, '%s%s traces the one-keyboard run (status %d) %s'
                  % (name, ' under wine' if program is WINE else '', status, err))
    # Network play leaves wine's services up for a while, with no display: the next wine program
    # would join them and show its window nowhere.
    subprocess.run(['wineserver', '-k'])
    done()

# Directly, with a watcher that joins mid-match; garbage and a wrong code first.
host, port, code, host_err = start_host(host_script, 'host', env=stamped('host'))
garbage(port)
_, err, status = finish(join(port, code + 'x'), 'a wrong code')
check(status == 2 and 'wrong code' in err, 'a wrong code is refused with status 2: %r' % err)
record = os.path.join(TMP, 'guest.rec')
guest = join(port, code, '--record', record, script=guest_script, env=stamped('guest'))
time.sleep(0.05)
watcher = join(port, code, '--watch', env=stamped('watcher'))
for name, p in (('host', host), ('guest', guest), ('watcher', watcher)):
    trace, err, status = finish(p, name)
    check(trace == golden and status == 1, name + ' traces the one-keyboard run (status %d) %s' % (status, err))
    if name == 'guest':
        guest_trace = trace
# The stamps for measuring: every machine takes the same readings, each made by one player's.
stamps = [[line.split()[1:3] for line in open(os.path.join(TMP, name + '.times')) if line[0] == 'r']
          for name in ('host', 'guest', 'watcher')]
check(min(map(len, stamps)) > 1000 and all(h[0] == g[0] == w[0] and {h[1], g[1]} == {'0', '1'} and w[1] == '0'
                                          for h, g, w in zip(*stamps)), 'the machines stamp the same readings')
replay = subprocess.run([VARNIS, '--headless', '--replay', record], cwd=BUILD, capture_output=True, text=True)
check(replay.stdout == guest_trace, "the guest's recording replays to its trace: " + replay.stderr)

# Through the delaying proxy: no press moves.
host, port, code, _ = start_host(host_script, 'host-delayed')
guest = join(delay_proxy(port), code, script=guest_script)
for name, p in (('host', host), ('guest', guest)):
    trace, err, status = finish(p, name + ' through the proxy')
    check(trace == golden, name + ' through the proxy traces the one-keyboard run ' + err)


def back_on_title(trace):
    """The match ended early and the game went back to the title, where the script's cursor key
    sounds."""
    return 'Player Win!' not in trace and '147001 sound 0 0 11025\n' in trace and trace.endswith(' exit 1\n')


# The second player killed, or silent for the time a connection may be, mid-match: the host ends
# the match as Escape would and plays on to its own end.
for stop in (signal.SIGKILL, signal.SIGSTOP):
    host, port, code, host_err = start_host(host_script, 'host-left-%d' % stop)
    guest = join(port, code, script=guest_script)
    for _ in range(6):
        guest.stdout.readline()  # a few shots in
    guest.send_signal(stop)
    said = ''
    for _ in range(200 if stop == signal.SIGSTOP else 0):
        host_err.seek(0)
        if 'went silent' in (said := host_err.read()):
            break
        time.sleep(0.05)
    guest.kill()
    guest.wait()
    trace, _, status = finish(host, 'a host whose player left')
    host_err.seek(0)
    check(status == 1 and back_on_title(trace) and 'left' in host_err.read(),
          'a host whose player was stopped by signal %d plays on to its own end (status %d): %s'
          % (stop, status, trace[-300:]))
    check(stop != signal.SIGSTOP or 'went silent' in said, 'a silent player is dropped: ' + said)

# The second player's Escape while the host aims: the host applies it (or hands it back to the
# player's game if that drives by the time it arrives), and both go back to the title together.
_, guest_escape = split_script('-escape', ['80400 tap 27\n'])
host, port, code, _ = start_host(host_script, 'host-escape')
guest = join(port, code, script=guest_escape)
traces = [finish(p, 'an Escape from the follower')[0] for p in (host, guest)]
check(traces[0] == traces[1] and back_on_title(traces[0]), "the follower's Escape ends the match everywhere")

# Another version or replay number (a hello crafted here), or another data file: refused.


def refusal(port, code, version, compat):
    def text(t):
        return bytes([len(t)]) + t.encode()
    hello = b'h\x01' + text(version) + bytes([compat]) + text('missing') * 4 + text(code) + b'\0'
    with socket.create_connection(('127.0.0.1', port)) as s:
        s.sendall(b'GET /play HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n'
                  b'Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n')
        s.settimeout(5)
        answer = b''
        while b'\r\n\r\n' not in answer:
            answer += s.recv(4096)
        answer = answer.split(b'\r\n\r\n', 1)[1]
        s.sendall(bytes([0x82, 0x80 | len(hello)]) + b'\0\0\0\0' + hello)  # masked with zeros
        while len(answer) < 2 or len(answer) < 2 + answer[1]:
            answer += s.recv(4096)
    return answer[2:2 + answer[1]][2:].decode()


site = os.path.join(TMP, 'site')
os.mkdir(site)
open(os.path.join(site, 'index.html'), 'w').write('<p>varnis</p>')
open(os.path.join(site, 'game.wasm'), 'wb').write(b'\0asm')
os.symlink('/etc/passwd', os.path.join(site, 'out.txt'))
host, port, code, _ = start_host(host_script, 'host-refusing', '--site', site)
said = refusal(port, code, 'other', 1)
m = re.match(r'the host runs varnis (\S+) \(replay (\d+)\), this is varnis other', said)
check(m is not None, 'another version is refused: %r' % said)
if m:
    said = refusal(port, code, m.group(1), int(m.group(2)) + 1)
    check(said.startswith('the host runs varnis'), 'another replay number is refused: %r' % said)
other = os.path.join(TMP, 'other-data')
os.mkdir(other)
for name in ('title.bmp', 'char.bmp', 'shoot.wav'):
    os.symlink(os.path.join(os.path.abspath(BUILD), name), os.path.join(other, name))
os.symlink(os.path.join(os.path.abspath(BUILD), 'shoot.wav'), os.path.join(other, 'bomb.wav'))
_, err, status = finish(join(port, code, cwd=other), 'another data file')
check(status == 2 and 'another bomb.wav' in err and err.count('\n') == 1, 'another data file is refused: %r' % err)


def fetch(path, method='GET'):
    c = http.client.HTTPConnection('127.0.0.1', port, timeout=5)
    c.request(method, path)
    r = c.getresponse()
    return r.status, r.getheader('Content-Type'), r.getheader('Content-Length'), r.read()


# The site: its files with their types, HEAD as GET without the body; nothing outside it.
got = [fetch(p) for p in ('/?code=x', '/game.wasm', '/missing.js', '/../site/index.html', '/out.txt')]
check(got[0] == (200, 'text/html; charset=utf-8', '13', b'<p>varnis</p>') and got[1][:2] == (200, 'application/wasm')
      and [g[0] for g in got[2:]] == [404] * 3 and fetch('/', 'HEAD')[:4] == (200, got[0][1], '13', b''),
      'the host serves its site: %s' % got)
host.kill()
host.wait()

# The second player's text drawn with another font: its picture differs; both say so at the same
# turn, and the match ends.
font = os.path.join(TMP, 'font')
os.mkdir(font)
os.symlink(subprocess.run(['fc-match', '-f', '%{file}', 'serif:bold'], capture_output=True, text=True).stdout,
           os.path.join(font, 'f.ttf'))
open(os.path.join(font, 'fonts.conf'), 'w').write(
    '<?xml version="1.0"?><fontconfig><dir>%s</dir><cachedir>%s/cache</cachedir></fontconfig>' % (font, font))
host, port, code, host_err = start_host(host_script, 'host-mismatch')
guest = join(port, code, script=guest_script, env=dict(os.environ, FONTCONFIG_FILE=os.path.join(font, 'fonts.conf')))
_, guest_said, _ = finish(guest, 'a player with another font')
trace, _, _ = finish(host, 'a host whose player has another font')
host_err.seek(0)
turns = [re.findall(r'differs from .* at turn (\d+); the match ends', t)[:1] for t in (host_err.read(), guest_said)]
check(turns[0] == turns[1] != [] and back_on_title(trace), 'a differing picture is reported on both sides: %s' % turns)

# A window host shows who joined and left in its title, where xdotool reads it.
if shutil.which('Xvfb') and shutil.which('xdotool'):
    display = os.path.join(TMP, 'display')
    with open(display, 'w') as fd:
        xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(fd.fileno()), '-nolisten', 'tcp'], pass_fds=[fd.fileno()],
                                stderr=subprocess.DEVNULL)
    for _ in range(100):
        if open(display).read().strip():
            break
        time.sleep(0.1)
    window_trace = os.path.join(TMP, 'window-host.trace')
    env = dict(os.environ, DISPLAY=':' + open(display).read().strip(), SDL_AUDIODRIVER='dummy',
               VARNIS_TRACE_FILE=window_trace)
    host, port, code, _ = start_host(None, 'window-host', env=env)

    def titled(words):
        for _ in range(100):
            found = subprocess.run(['xdotool', 'search', '--name', 'Varnis - .*' + words], env=env,
                                   capture_output=True).stdout
            if found:
                return True
            time.sleep(0.1)
        return False
    def tap(key):
        window = subprocess.run(['xdotool', 'search', '--name', '^Varnis'], env=env,
                                capture_output=True, text=True).stdout.split()[-1]
        for action in ('windowfocus', 'keydown', 'keyup'):
            subprocess.run(['xdotool', action] + ([window] if action == 'windowfocus' else [key]), env=env)
            time.sleep(0.12)

    def traced(words, seconds=10):
        for _ in range(seconds * 10):
            if os.path.exists(window_trace) and words in open(window_trace, encoding='utf-8', errors='replace').read():
                return True
            time.sleep(0.1)
        return False
    guest = join(port, code, script=guest_script)
    check(titled('joined as the second player'), "the window's title shows the player joined")
    # The player leaves while the host aims, in real time: the match ends as Escape would, so
    # Down on the title sounds its cursor (a second time).
    tap('Down')
    tap('Return')
    check(traced('風向き'), 'the window host aims first in a match with the player')
    guest.kill()
    guest.wait()
    check(titled('left'), "the window's title shows the player left")
    time.sleep(2)
    tap('Down')
    check(traced('sound 0 0 11025', 5) and open(window_trace, encoding='utf-8', errors='replace').read().count('sound 0 0 11025') == 2,
          'a player who leaves while the host aims ends the match: %s' % open(window_trace, encoding='utf-8', errors='replace').read()[-200:])
    host.kill()
    host.wait()
    xvfb.kill()
    xvfb.wait()

done()
