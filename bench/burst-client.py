#!/usr/bin/env python3
"""A burst of log lines against the service, as many clients at once.

THREADS threads each post distinct log lines over a keep-alive connection
under transaction TRANSACTION, each line with its own request id, and append
every line the service acknowledged (HTTP 200 with "OK") to ACKED, one per
line. A thread stops when the service is gone. Runs until killed or until
the service stops answering.

Usage: burst-client.py PORT THREADS TRANSACTION ACKED
"""
import http.client
import sys
import threading
import uuid

port, threads, transaction, acked_path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
lock = threading.Lock()
acked = open(acked_path, "a", buffering=1)


def client(number):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    sent = 0
    while True:
        sent += 1
        message = f"kill-{transaction}-{number}-{sent}"
        target = (f"/php/addlog.php?transaction={transaction}&message={message}&action=46"
                  f"&request={uuid.uuid4().hex}")
        try:
            conn.request("GET", target)
            response = conn.getresponse()
            body = response.read()
        except (OSError, http.client.HTTPException):
            return  # the service is gone; an unanswered line counts for nothing
        if response.status == 200 and b"\nOK\n" in body:
            with lock:
                acked.write(message + "\n")


workers = [threading.Thread(target=client, args=(n,)) for n in range(threads)]
for w in workers:
    w.start()
for w in workers:
    w.join()
