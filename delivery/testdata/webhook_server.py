"""A webhook receiver for the Alertmanager tests, on a free port of 127.0.0.1.

    webhook_server.py --log FILE

Each POST body (Alertmanager's notification, JSON) is answered 200 and
appended to FILE as one line of compact JSON. The first line on standard
output is "PORT n" once the server listens; it stops when standard input
closes.
"""
import argparse
import http.server
import json
import sys
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    lock = threading.Lock()
    log = open(args.log, "a", encoding="utf-8")

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            try:
                line = json.dumps(json.loads(body), separators=(",", ":"))
            except ValueError:
                line = json.dumps({"unreadable": body.decode("utf-8", "replace")})
            with lock:
                log.write(line + "\n")
                log.flush()
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
