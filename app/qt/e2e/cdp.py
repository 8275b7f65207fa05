"""A small Chrome DevTools protocol client on the standard library alone: enough to read a page's
DOM, run script in it, dispatch real input events and take screenshots of the embedded browser of
the program under test (QTWEBENGINE_REMOTE_DEBUGGING)."""

import base64
import json
import os
import socket
import struct
import time
import urllib.parse
import urllib.request


class CdpError(RuntimeError):
    pass


def list_targets(port, timeout=2.0):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/json", timeout=timeout) as reply:
        return json.loads(reply.read().decode("utf-8"))


class _WebSocket:
    def __init__(self, url, timeout):
        parts = urllib.parse.urlsplit(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode("ascii")
        path = parts.path + (("?" + parts.query) if parts.query else "")
        request = (f"GET {path} HTTP/1.1\r\nHost: {parts.hostname}:{parts.port}\r\n"
                   "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                   f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
        self.sock.sendall(request.encode("ascii"))
        header = b""
        while b"\r\n\r\n" not in header:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise CdpError("the debugging port closed during the handshake")
            header += chunk
        head, _, self.buffer = header.partition(b"\r\n\r\n")
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise CdpError("websocket handshake refused: " + head.decode("latin-1"))

    def _read(self, count):
        while len(self.buffer) < count:
            chunk = self.sock.recv(max(65536, count - len(self.buffer)))
            if not chunk:
                raise CdpError("the debugging connection closed")
            self.buffer += chunk
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data

    def send_text(self, text):
        payload = text.encode("utf-8")
        mask = os.urandom(4)
        length = len(payload)
        if length < 126:
            header = struct.pack("!BB", 0x81, 0x80 | length)
        elif length < 65536:
            header = struct.pack("!BBH", 0x81, 0x80 | 126, length)
        else:
            header = struct.pack("!BBQ", 0x81, 0x80 | 127, length)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def receive_text(self):
        message = b""
        while True:
            first, second = self._read(2)
            opcode = first & 0x0F
            length = second & 0x7F
            if length == 126:
                length = struct.unpack("!H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", self._read(8))[0]
            if second & 0x80:
                mask = self._read(4)
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(self._read(length)))
            else:
                payload = self._read(length)
            if opcode == 0x8:
                raise CdpError("the debugging connection was closed by the browser")
            if opcode == 0x9:  # ping: answer and go on
                self.sock.sendall(struct.pack("!BB", 0x8A, 0x80 | len(payload)) + b"\0\0\0\0" + payload)
                continue
            if opcode in (0x1, 0x0, 0x2):
                message += payload
                if first & 0x80:
                    return message.decode("utf-8")

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


class Page:
    """One page target. Every call waits for its answer at most `timeout` seconds."""

    def __init__(self, port, timeout=15.0, deadline=30.0):
        end = time.monotonic() + deadline
        last = None
        while True:
            try:
                pages = [t for t in list_targets(port) if t.get("type") == "page"]
                if pages:
                    self.ws = _WebSocket(pages[0]["webSocketDebuggerUrl"], timeout)
                    break
            except (OSError, ValueError, CdpError) as error:
                last = error
            if time.monotonic() > end:
                raise CdpError(f"no page on debugging port {port}: {last}")
            time.sleep(0.2)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        ident = self.next_id
        self.ws.send_text(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.receive_text())
            if message.get("id") != ident:
                continue  # an event, or the answer to an abandoned call
            if "error" in message:
                raise CdpError(f"{method}: {message['error']}")
            return message.get("result", {})

    def evaluate(self, expression, await_promise=False):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            raise CdpError(f"script failed: {result['exceptionDetails']}")
        return result.get("result", {}).get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as out:
            out.write(base64.b64decode(data))

    def click_at(self, x, y, button="left"):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button=button, clickCount=1)

    def close(self):
        self.ws.close()
