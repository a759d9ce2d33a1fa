#!/usr/bin/python3
"""The browser as the second player: a host in a window under Xvfb (keys by xdotool) serves the
page, headless Chromium opens its share address with ?trace and plays the right fortress with CDP
key events. The page shows who it joined as outside the picture, its trace lines (console) are the
host's trace file line for line, the host's quitting ends the page's game, and nothing reaches the
console's error level. Then a host that vanishes: the page names the cause on its status line.

    net_guest_test.py VARNIS BUILD_DIR SITE_DIR
"""
import os, re, shutil, subprocess, sys, tempfile, time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp

VARNIS, BUILD, SITE = (os.path.abspath(a) for a in sys.argv[1:4])
TMP = tempfile.mkdtemp(prefix='web-net-')
STATUS = "document.getElementById('status').textContent"


def start_host(env, name):
    err = open(os.path.join(TMP, name + '.err'), 'w+')
    p = subprocess.Popen([VARNIS, '--window', '--seed', '11', '--host', '127.0.0.1:0', '--site', SITE,
                          '--code', 'webtest'], cwd=BUILD, env=env, stdout=subprocess.PIPE,
                         stderr=err, text=True)
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

        # A two-player match: the left fortress (the host's Space) and the right (the page's
        # Space) take turns; a key pressed out of its player's turn is dropped.
        for name in ('Down', 'Return'):
            host_key(name)
            time.sleep(0.5)
        time.sleep(3)
        for _ in range(3):
            host_key('space')
            time.sleep(4)
            browser.key('Space', 32, 150)
            time.sleep(4)
        host_key('Escape')
        time.sleep(3)
        host_key('Escape')
        host.wait(20)
        check(browser.wait_for("window.varnisExit === 1", 10), 'the page\'s game did not end with the host\'s')
        page = [line for line in browser.console(['log']) if re.match(r'\d+ ', line)]
        hosts = open(host_trace).read().splitlines()
        check(hosts and page == hosts and hosts[-1].endswith(' exit 1'),
              'the page traced %d lines, the host %d; first difference: %s' % (len(page), len(hosts),
              next((p for p in zip(page, hosts) if p[0] != p[1]), None)))
        # Each fortress fired: the stream's turns went to the page and back.
        fired = [l for l in hosts if ' sound ' in l]
        check(len(fired) >= 4, 'too few shots in the match: %d sounds' % len(fired))
        errors = browser.console(['error'])
        check(not errors, 'console errors: %s' % errors)

        # A host that vanishes mid-game: one line on the page says so.
        host, port = start_host(dict(env, VARNIS_TRACE_FILE=''), 'vanishing-host')
        browser.origin = 'http://127.0.0.1:%d/' % port
        browser.open('?code=webtest')
        check(browser.wait_for(STATUS + ".includes('as the second player')", 20), 'no second join')
        host.kill()
        host.wait()
        check(browser.wait_for(STATUS + ".startsWith('Lost the host')", 10),
              'the page does not name why the game ended: %r' % browser.eval(STATUS))
        errors = browser.console(['error'])
        check(not errors, 'console errors after the host vanished: %s' % errors)
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
