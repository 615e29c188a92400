#!/usr/bin/env python3
"""plotvane serve under a service manager's notify protocol: a datagram
socket named by NOTIFY_SOCKET, as systemd makes it for Type=notify, gets
READY=1 once the port answers, and STOPPING=1 when SIGTERM stops it.

  ServeNotifyTest.py PLOTVANE FORM
"""
import http.client
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile

# Only bounds a failure: a server that never starts or never stops.
DEADLINE_S = 60


def fail(message):
    print("ServeNotifyTest: " + message, file=sys.stderr)
    sys.exit(1)


def main():
    exe, form = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "notify")
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        sock.bind(path)
        sock.settimeout(DEADLINE_S)
        env = dict(os.environ, NOTIFY_SOCKET=path)
        server = subprocess.Popen([exe, "serve", form, "--port", "0", "--threads", "1"], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            message = sock.recv(4096).decode()
            if message != "READY=1":
                fail("the first message is %r, not READY=1" % message)
            # READY=1 came after the server listened: the port answers now.
            line = server.stdout.readline()
            port = re.search(r":(\d+)/$", line.strip())
            if not port:
                fail("no address in %r" % line)
            conn = http.client.HTTPConnection("127.0.0.1", int(port.group(1)), timeout=DEADLINE_S)
            conn.request("GET", "/healthz")
            status = conn.getresponse().status
            if status != 200:
                fail("/healthz answered %d after READY=1" % status)
            conn.close()
            server.send_signal(signal.SIGTERM)
            message = sock.recv(4096).decode()
            if message != "STOPPING=1":
                fail("after SIGTERM the message is %r, not STOPPING=1" % message)
            if server.wait(DEADLINE_S) != 0:
                fail("serve ended with %d: %s" % (server.returncode, server.stderr.read()))
            err = server.stderr.read()
            if "notify" in err:
                fail("serve reported a notify fault: " + err)
        except socket.timeout:
            fail("no message from serve on NOTIFY_SOCKET: " + (server.stderr.read() if server.poll() is not None else "still running"))
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()
    print("ServeNotifyTest: READY=1 once listening, STOPPING=1 on SIGTERM")


main()
