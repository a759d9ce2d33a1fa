"""A headless Chromium serving a site folder, driven over the DevTools protocol."""
import base64, functools, http.server, json, os, shutil, subprocess, tempfile, threading, time
import urllib.request
import websocket

FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync',
         '--disable-dev-shm-usage', '--remote-debugging-port=0', '--window-size=1280,1024']


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # the browser dropping a connection it no longer needs


class Browser:
    def __init__(self, site):
        handler = functools.partial(Quiet, directory=site)
        self.server = Server(('127.0.0.1', 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.origin = 'http://127.0.0.1:%d/' % self.server.server_address[1]
        self.profile = tempfile.mkdtemp(prefix='varnis-chromium-')
        # Chromium leaves a folder in the temporary folder: the profile's is removed at the end.
        self.proc = subprocess.Popen(['chromium', *FLAGS, '--user-data-dir=' + self.profile, 'about:blank'],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     env=dict(os.environ, TMPDIR=self.profile))
        port_file = os.path.join(self.profile, 'DevToolsActivePort')
        deadline = time.time() + 30
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError('chromium did not start')
            time.sleep(0.1)
        port = open(port_file).read().split()[0]
        targets = json.load(urllib.request.urlopen('http://127.0.0.1:%s/json/list' % port))
        page = next(t for t in targets if t['type'] == 'page')
        self.ws = websocket.create_connection(page['webSocketDebuggerUrl'], suppress_origin=True)
        self.next_id, self.events = 0, []
        for domain in ('Runtime', 'Log', 'Page'):
            self.call(domain + '.enable')

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({'id': self.next_id, 'method': method, 'params': params}))
        while True:
            msg = json.loads(self.ws.recv())
            if msg.get('id') == self.next_id:
                if 'error' in msg:
                    raise RuntimeError('%s: %s' % (method, msg['error']))
                return msg.get('result', {})
            self.events.append(msg)

    def eval(self, expression):
        r = self.call('Runtime.evaluate', expression=expression, returnByValue=True, awaitPromise=True)
        if 'exceptionDetails' in r:
            raise RuntimeError(str(r['exceptionDetails']))
        return r['result'].get('value')

    def open(self, path, timeout=20):
        """Loads the page and waits for its load event."""
        self.events.clear()
        self.call('Page.navigate', url=self.origin + path)
        self.ws.settimeout(timeout)
        while not any(e.get('method') == 'Page.loadEventFired' for e in self.events):
            self.events.append(json.loads(self.ws.recv()))
        self.ws.settimeout(None)

    def wait_for(self, expression, timeout=10):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.eval(expression):
                return True
            time.sleep(0.05)
        return False

    def key(self, code, vk, down_ms=80):
        for kind in ('rawKeyDown', 'keyUp'):
            self.call('Input.dispatchKeyEvent', type=kind, code=code, key=code,
                      windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)
            if kind == 'rawKeyDown':
                time.sleep(down_ms / 1000)

    def canvas(self):
        """The canvas as 640 * 480 RGB triples (bytes)."""
        b64 = self.eval("""(() => { const d = Module.canvas.getContext('2d').getImageData(0, 0, 640, 480).data;
            let s = ''; for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
            return btoa(s); })()""")
        return base64.b64decode(b64)

    def console(self, levels):
        """Console and log texts at the given levels, in order."""
        self.call('Runtime.evaluate', expression='0')  # collect what has arrived
        out = []
        for e in self.events:
            p = e.get('params', {})
            if e.get('method') == 'Runtime.consoleAPICalled' and p['type'] in levels:
                out.append(' '.join(str(a.get('value', a.get('description', ''))) for a in p['args']))
            elif e.get('method') == 'Log.entryAdded' and p['entry']['level'] in levels:
                out.append(p['entry']['text'])
            elif e.get('method') == 'Runtime.exceptionThrown' and 'error' in levels:
                out.append(str(p['exceptionDetails']))
        return out

    def close(self):
        self.ws.close()
        self.proc.terminate()
        self.proc.wait()
        self.server.shutdown()
        shutil.rmtree(self.profile, ignore_errors=True)
