#!/usr/bin/env python3
"""A network receiver that misbehaves, for station tests (loopback only).

Listens on ADDRESS, TCP port 5041, and treats every connection by MODE:
  hangup  accepts and closes at once;
  stall   sends STALL_AFTER seconds of zero samples at 250000 samples/s on the
          first connection, then sends nothing and keeps every connection open;
  flood   sends zero samples as fast as the station takes them, for SECONDS
          seconds from the first connection, then closes and stops listening.
Prints "listening" once bound and "connection N" for each connection accepted,
flushed at once, so a test can count them.
Usage: misbehaving_receiver.py ADDRESS MODE [SECONDS]
"""
import socket
import sys
import time

address, mode = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 1.5

listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((address, 5041))
listener.listen(8)
print("listening", flush=True)
held = []
count = 0
while True:
    client, _ = listener.accept()
    count += 1
    print("connection %d" % count, flush=True)
    if mode == "hangup":
        client.close()
    elif mode == "stall":
        if count == 1:
            chunk = bytes(1000)  # 2 ms of samples
            start = time.monotonic()
            sent = 0
            while sent < seconds * 500:
                ahead = start + sent * 0.002 - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)
                client.sendall(chunk)
                sent += 1
        held.append(client)
    elif mode == "flood":
        chunk = bytes(65536)
        end = time.monotonic() + seconds
        try:
            while time.monotonic() < end:
                client.sendall(chunk)
        except OSError:
            pass
        client.close()
        listener.close()
        print("flood over", flush=True)
        time.sleep(3600)
