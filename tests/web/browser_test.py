#!/usr/bin/python3
"""The browser build played in headless Chromium: with a fixed seed the title is the headless
runner's picture to the pixel; Down and Enter start a match and the battlefield appears; the fire
key leaves a trail and a crater; Escape goes back to the title, and again ends the game, which the
page reports; nothing reaches the console's error level.

    browser_test.py SITE_DIR NATIVE_BUILD_DIR
"""
import os, shutil, subprocess, sys, tempfile, time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp

GROUND = "[10, 320, 630].every(x => { const p = Module.canvas.getContext('2d').getImageData(x, 470, 1, 1).data; return p[0] + p[1] + p[2] > 0; })"


def native_pictures(build, script, seed):
    """The headless runner's snapshots as RGB bytes, by name."""
    out = tempfile.mkdtemp()
    with open(os.path.join(out, 'script'), 'w') as f:
        f.write(script)
    subprocess.run([os.path.join(build, 'varnis'), '--headless', '--script', os.path.join(out, 'script'),
                    '--snapshots', out, '--seed', str(seed)], cwd=build, stdout=subprocess.DEVNULL, check=False)
    pictures = {}
    for name in (n[:-4] for n in os.listdir(out) if n.endswith('.bmp')):
        bmp = open(os.path.join(out, name + '.bmp'), 'rb').read()
        start, width, height = (int.from_bytes(bmp[a:a + 4], 'little', signed=True) for a in (10, 18, 22))
        pal = bmp[14 + int.from_bytes(bmp[14:18], 'little'):start]
        rows = [bmp[start + y * width:start + (y + 1) * width] for y in range(abs(height))]
        if height > 0:
            rows.reverse()  # bottom-up
        pictures[name] = b''.join(bytes((pal[4 * i + 2], pal[4 * i + 1], pal[4 * i])) for r in rows for i in r)
    shutil.rmtree(out)
    return pictures


def differing(a, b):
    return sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3))


def wait_for_picture(browser, want, timeout):
    deadline, got = time.time() + timeout, b''
    while time.time() < deadline:
        got = browser.canvas()
        if got == want:
            return 0
        time.sleep(0.2)
    return differing(got, want)


def main(site, build):
    build = os.path.abspath(build)
    pics = native_pictures(build, '1000 snapshot title\n1100 tap 40\n1500 snapshot menu\n1600 close\n', 1)
    browser = cdp.Browser(site)
    failures = []
    check = lambda ok, what: ok or failures.append(what)
    try:
        browser.open('?seed=1')
        n = wait_for_picture(browser, pics['title'], 10)
        check(n == 0, 'title differs from the headless runner\'s in %d pixels' % n)
        browser.key('ArrowDown', 40)
        time.sleep(0.3)
        browser.key('Enter', 13)
        check(browser.wait_for(GROUND, 15), 'no battlefield after Down, Enter')
        time.sleep(0.5)
        before = browser.canvas()
        band = [before[i:i + 3] for i in range(3 * 640 * 150, 3 * 640 * 160, 3)]
        sky = max(set(band), key=band.count)
        trail = crater = 0
        # A shell may land off the screen: the fortresses take turns (Enter, Space) until a crater shows.
        for shot in range(6):
            browser.key(('Enter', 'Space')[shot % 2], (13, 32)[shot % 2])
            deadline = time.time() + 5
            while time.time() < deadline and not (trail > 5 and crater > 20):
                time.sleep(0.3)
                after = browser.canvas()
                trail = crater = 0
                for i in range(3 * 640 * 150, len(after), 3):  # below the aiming boxes
                    px, was = after[i:i + 3], before[i:i + 3]
                    trail += px == b'\xff\xff\xff' and was != px
                    crater += px == sky and was != sky
            if trail > 5 and crater > 20:
                break
        check(trail > 5 and crater > 20, 'fire: %d trail and %d crater pixels' % (trail, crater))
        browser.key('Escape', 27)
        n = wait_for_picture(browser, pics['menu'], 10)
        check(n == 0, 'back on the title: %d pixels differ' % n)
        browser.key('Escape', 27)
        check(browser.wait_for("window.varnisExit === 1 && /ended/.test(document.getElementById('text').textContent)", 10),
              'the page does not report the end')
        browser.key('Space', 32)  # a key after the end: the closed sound is not woken
        errors = browser.console(['error'])
        check(not errors, 'console errors: %s' % errors)
        # A seed the program refuses: the reason is shown on the page, not only in the console.
        for seed in ('abc', '4294967296'):
            browser.open('?seed=' + seed)
            check(browser.wait_for("window.varnisExit === 2 && document.getElementById('text').textContent"
                                   ".includes(\"seed '%s' is not a number\")" % seed, 10),
                  'the page does not say why the seed %s is refused' % seed)
    finally:
        browser.close()
    for f in failures:
        print('FAIL:', f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:3]))
