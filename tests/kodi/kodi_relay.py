"""Kodi's JSON-RPC over one lasting TCP connection, run inside the test's
network namespace: requests, one JSON object a line, from stdin to Kodi;
Kodi's answers (objects with an id) to stdout, one a line; its notifications
read and dropped. A client that hangs up while Kodi still writes to it can
end Kodi (SIGPIPE), so the connection stays open, read to its end, until the
test closes stdin. Prints "connected" first, or exits 2 when Kodi does not
listen within the deadline given as its argument (seconds)."""
import json
import socket
import sys
import threading
import time


def connect(deadline):
    end = time.monotonic() + deadline
    while True:
        try:
            return socket.create_connection(("127.0.0.1", 9090), timeout=5)
        except OSError:
            if time.monotonic() > end:
                sys.exit(2)
            time.sleep(0.1)


def answers(sock):
    decoder, text = json.JSONDecoder(), ""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return
        text += chunk.decode(errors="replace")
        while text.strip():
            try:
                obj, end = decoder.raw_decode(text.lstrip())
            except ValueError:
                break
            text = text.lstrip()[end:]
            if isinstance(obj, dict) and "id" in obj:
                print(json.dumps(obj), flush=True)


def main():
    sock = connect(float(sys.argv[1]))
    sock.settimeout(None)
    print("connected", flush=True)
    reader = threading.Thread(target=answers, args=(sock,), daemon=True)
    reader.start()
    for line in sys.stdin:
        sock.sendall(line.encode())
    sock.shutdown(socket.SHUT_WR)
    reader.join(5)


if __name__ == "__main__":
    main()
