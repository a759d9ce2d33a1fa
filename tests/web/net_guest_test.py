#!/usr/bin/python3
"""The browser as the second player: a host in a window under Xvfb (keys by xdotool) serves the
page, headless Chromium opens its share address with ?trace and plays the right fortress with CDP
key events and a pad's A. The page says whom it joined as, outside the picture; its trace lines
(console) are the host's trace file's; the host's quitting ends the page's game; nothing reaches
the console's error level. A wrong code is refused on the page; a host killed or stopped is named
as the cause there.

    net_guest_test.py VARNIS BUILD_DIR SITE_DIR
"""
import os, re, shutil, signal, subprocess, sys, tempfile, time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp

VARNIS, BUILD, SITE = (os.path.abspath(a) for a in sys.argv[1:4])
TMP = tempfile.mkdtemp(prefix='web-net-', dir=BUILD)  # kept there when a check fails
STATUS = "document.getElementById('status').textContent"
PAD = """navigator.getGamepads = () => [{connected: true, index: 0, id: 'pad', mapping: 'standard',
    timestamp: performance.now(), axes: [0, 0, 0, 0],
    buttons: Array.from({length: 17}, (_, i) => ({pressed: i == 0 && %s, value: 0}))}]"""


def start_host(env, name):
    err = open(os.path.join(TMP, name + '.err'), 'w+')
    p = subprocess.Popen([VARNIS, '--window', '--seed', '11', '--host', '127.0.0.1:0', '--site', SITE,
                          '--code', 'webtest'], cwd=BUILD, env=env, stdout=subprocess.DEVNULL,
                         stderr=err)
    for _ in range(200):
        err.seek(0)
        m = re.search(r'http://127\.0\.0\.1:(\d+)/\?code=webtest', err.read())
        if m:
            return p, int(m.group(1))
        time.sleep(0.05)
    raise SystemExit('the host printed no line to share')


def main():
    failures = []
    check = lambda ok, what: ok or failures.append(what)
    with open(os.path.join(TMP, 'display'), 'w') as fd:
        xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(fd.fileno()), '-nolisten', 'tcp', '-r'],
                                pass_fds=[fd.fileno()], stderr=subprocess.DEVNULL)
    while not open(os.path.join(TMP, 'display')).read().strip():
        time.sleep(0.1)
    host_trace = os.path.join(TMP, 'host.trace')
    env = dict(os.environ, DISPLAY=':' + open(os.path.join(TMP, 'display')).read().strip(),
               SDL_AUDIODRIVER='dummy', VARNIS_TRACE_FILE=host_trace)
    browser = cdp.Browser(SITE)
    host = None
    try:
        host, port = start_host(env, 'host')
        browser.origin = 'http://127.0.0.1:%d/' % port
        browser.open('?code=webtest&trace')
        check(browser.wait_for(STATUS + ".includes('as the second player')", 20),
              'the page does not say it joined as the second player')

        def host_key(name):
            # SDL may replace its first window: the one shown now.
            window = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Varnis'],
                                    env=env, capture_output=True, text=True).stdout.split()[-1:]
            subprocess.run(['xdotool', 'windowfocus', *window], env=env)
            subprocess.run(['xdotool', 'keydown', name], env=env)
            time.sleep(0.15)
            subprocess.run(['xdotool', 'keyup', name], env=env)

        # A two-player match: at the start of each aim (the wind's line in the host's trace) both
        # fire, the host's Space for the left fortress and the page's Space (two turns), then its
        # pad's A (a stand-in for the Gamepad API), for the right; only the press of the player
        # whose turn it is counts.
        def aims():
            with open(host_trace, encoding='utf-8') as f:
                return f.read().count('風向き')

        for name in ('Down', 'Return'):
            host_key(name)
            time.sleep(0.5)
        for turn in range(1, 5):
            deadline = time.time() + 20
            while aims() < turn and time.time() < deadline:
                time.sleep(0.1)
            time.sleep(0.5)
            host_key('space')
            if turn <= 2:
                browser.key('Space', 32, 150)
            else:
                browser.eval(PAD % 'true')
                time.sleep(0.15)
                browser.eval(PAD % 'false')
        time.sleep(1)
        host_key('Escape')
        time.sleep(3)
        host_key('Escape')
        host.wait(20)
        check(browser.wait_for("window.varnisExit === 1", 10), 'the page\'s game did not end with the host\'s')
        page = [line for line in browser.console(['log']) if re.match(r'\d+ ', line)]
        hosts = open(host_trace, encoding='utf-8').read().splitlines()
        check(hosts and page == hosts and hosts[-1].endswith(' exit 1'),
              'the page traced %d lines, the host %d; first difference: %s' % (len(page), len(hosts),
              next((p for p in zip(page, hosts) if p[0] != p[1]), None)))
        # Each fortress fired twice (the firing sound is panned to its side): the turns went to
        # the page and back.
        shots = [re.match(r'\d+ sound 0 (-?)[1-9]', l) for l in hosts]
        sides = [m.group(1) for m in shots if m]
        check(sides.count('-') == 2 and sides.count('') == 2, 'shots left and right: %s' % sides)
        errors = browser.console(['error'])
        check(not errors, 'console errors: %s' % errors)

        host, port = start_host(dict(env, VARNIS_TRACE_FILE=''), 'vanishing-host')
        browser.origin = 'http://127.0.0.1:%d/' % port
        browser.open('?code=wrong')
        check(browser.wait_for("window.varnisExit === 2 && document.getElementById('text')"
                               ".textContent.includes(': wrong code.')", 10),
              'the page does not say the code was refused: %r' % browser.eval("document.body.innerText"))
        for stop, why in ((signal.SIGKILL, 'was lost'), (signal.SIGSTOP, 'went silent')):
            if stop == signal.SIGSTOP:
                host, port = start_host(dict(env, VARNIS_TRACE_FILE=''), 'silent-host')
                browser.origin = 'http://127.0.0.1:%d/' % port
            browser.open('?code=webtest')
            check(browser.wait_for(STATUS + ".includes('as the second player')", 20), 'no join')
            host.send_signal(stop)
            check(browser.wait_for("/^Lost the host: .* %s/.test(%s)" % (why, STATUS), 20),
                  'the page does not say the host %s: %r' % (why, browser.eval(STATUS)))
            host.kill()
            host.wait()
            errors = browser.console(['error'])
            check(not errors, 'console errors after the host %s: %s' % (why, errors))
    finally:
        if host and host.poll() is None:
            host.kill()
        browser.close()
        xvfb.terminate()
    for f in failures:
        print('FAIL:', f)
    if not failures:
        shutil.rmtree(TMP, ignore_errors=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
