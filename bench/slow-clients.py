#!/usr/bin/env python3
"""Slow clients against the service, and probes beside them.

Keeps COUNT connections from 127.0.0.2 open, each sending a request's headers
a line at a time and never finishing them (reconnecting when the service cuts
one, as an attacker would). Meanwhile a probe from 127.0.0.1 asks for the
version every 200 ms and counts it answered only if the reply comes within a
second. Runs until SECONDS pass, then prints "probes answered N of M".

Usage: slow-clients.py PORT COUNT SECONDS
"""
import http.client
import socket
import sys
import threading
import time

port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
stop = time.monotonic() + seconds


def slow_client():
    while time.monotonic() < stop:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=5, source_address=("127.0.0.2", 0))
            s.sendall(b"GET /php/getkey.php?searchKey=VERSION&language=ENG HTTP/1.1\r\nHost: x\r\n")
            while time.monotonic() < stop:
                time.sleep(0.5)
                s.sendall(b"X-Slow: 1\r\n")
        except OSError:
            time.sleep(0.1)  # cut by the service: come back
        finally:
            try:
                s.close()
            except Exception:
                pass


threads = [threading.Thread(target=slow_client, daemon=True) for _ in range(count)]
for t in threads:
    t.start()
time.sleep(0.5)  # all attached before the first probe

asked = answered = 0
while time.monotonic() < stop - 0.3:
    asked += 1
    try:
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=1)
        c.request("GET", "/php/getkey.php?searchKey=VERSION&language=ENG")
        r = c.getresponse()
        if r.status == 200 and b"VERSION;" in r.read():
            answered += 1
        c.close()
    except OSError:
        pass
    time.sleep(0.2)
print(f"probes answered {answered} of {asked}")
