#!/usr/bin/python3
"""Figures for the browser build in headless Chromium, on build-web/site (./dev.sh web build):
what a server sends (gzip -9, as a server compresses), page load to the first title picture,
the browser's CPU share while the title is left alone, and the --stats report (?stats) of a
two-player match played by taps, with its paced steps.

    bench/measure_web.py [SITE_DIR]
"""
import gzip, os, statistics, sys, time
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import cdp

site = sys.argv[1] if len(sys.argv) > 1 else 'build-web/site'
total = 0
for name in ('index.html', 'varnis.js', 'varnis.wasm', 'varnis.data'):
    raw = open(os.path.join(site, name), 'rb').read()
    packed = len(gzip.compress(raw, 9))
    total += packed
    print('%-12s %9d bytes, %9d gzipped' % (name, len(raw), packed))
print('sent in all  %.2f MB gzipped' % (total / 1e6))


def cpu_seconds(root):
    """User and system time of a process and all its descendants."""
    parents, ticks = {}, {}
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            fields = open('/proc/%s/stat' % pid).read().rsplit(')', 1)[1].split()
        except OSError:
            continue
        parents[int(pid)], ticks[int(pid)] = int(fields[1]), int(fields[11]) + int(fields[12])
    def under(pid):
        while pid > 1:
            if pid == root:
                return True
            pid = parents.get(pid, 0)
        return False
    return sum(t for p, t in ticks.items() if under(p)) / os.sysconf('SC_CLK_TCK')


browser = cdp.Browser(site)
try:
    loads = []
    for _ in range(5):
        browser.open('?seed=1')
        browser.wait_for('window.Module && Module.varnisFirstPicture > 0', 20)
        loads.append(browser.eval('Module.varnisFirstPicture'))
    print('load to first title picture: median %.0f ms, slowest %.0f ms (5 loads)'
          % (statistics.median(loads), max(loads)))
    time.sleep(3)
    c0, t0 = cpu_seconds(browser.proc.pid), time.time()
    time.sleep(30)
    share = (cpu_seconds(browser.proc.pid) - c0) / (time.time() - t0)
    print('title left alone 30 s: browser processes %.1f%% of one core' % (100 * share))

    browser.open('?seed=1&stats')
    browser.wait_for('window.Module && Module.varnisFirstPicture > 0', 20)
    browser.key('ArrowDown', 40)
    browser.key('Enter', 13)
    end = time.time() + 60
    while time.time() < end:
        time.sleep(1.1)
        browser.key('Enter', 13)
        time.sleep(1.3)
        browser.key('Space', 32)
    for _ in range(3):
        browser.key('Escape', 27)
        time.sleep(1)
    browser.wait_for('window.varnisExit !== undefined', 10)
    lines = browser.console(['warning'])
    start = max(i for i, l in enumerate(lines) if l.startswith('varnis stats'))
    print('\n'.join(lines[start:]))
    # The browser's own floor, in the same page once the game has ended: 1500 waits of 9 ms made
    # as the game's are (a timeout, then message-port turns), without the game.
    late = browser.eval("""(async () => {
        const port = new MessageChannel(), late = [];
        for (let i = 0; i < 1500; ++i) await new Promise(resolve => {
            const end = performance.now() + 9, turn = () => port.port2.postMessage(0);
            port.port1.onmessage = () => { const left = end - performance.now();
                if (left <= 0) { late.push(-left); resolve(); }
                else if (left > 2.5) setTimeout(turn, Math.floor(left - 1.5)); else turn(); };
            turn(); });
        late.sort((a, b) => a - b);
        return [late[750], late[Math.ceil(0.99 * 1500) - 1]]; })()""")
    print('bare 9 ms waits in the page: late by median %.2f ms, p99 %.2f ms' % tuple(late))
finally:
    browser.close()
