"""An HTTPS server for the spool forwarder tests, on a free port of 127.0.0.1.

    https_server.py --cert PEM --key PEM --log FILE [--client-ca PEM]
                    [--codes 500,500,400,...]

Each POST is answered with the next code of --codes, then 200 once they are
used up, and logged to FILE as one line "KEY STATUS BODY" (the
Idempotency-Key header, the code sent, the body with line breaks as blanks).
With --client-ca the client must show a certificate that CA signed. The
first line on standard output is "PORT n" once the server listens; it stops
when standard input closes. HTTP/1.1 with keep-alive, one thread per
connection.
"""
import argparse
import http.server
import socket
import ssl
import sys
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--client-ca")
    parser.add_argument("--codes", default="")
    args = parser.parse_args()

    codes = [int(c) for c in args.codes.split(",") if c]
    lock = threading.Lock()
    log = open(args.log, "a", encoding="utf-8", errors="replace")

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def setup(self):
            # The reply's head and body are separate writes; without this
            # each request waits for the client's delayed acknowledgement.
            self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            super().setup()

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            with lock:
                status = codes.pop(0) if codes else 200
                text = body.decode("utf-8", "replace").replace("\n", " ").replace("\r", " ")
                log.write("%s %d %s\n" % (self.headers.get("Idempotency-Key", "-"), status, text))
                log.flush()
            reply = ("status %d\n" % status).encode()
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    if args.client_ca:
        context.verify_mode = ssl.CERT_REQUIRED
        context.load_verify_locations(args.client_ca)
    # The handshake happens in the connection's own thread, so a client that
    # stalls or fails it holds up no other.
    server.socket = context.wrap_socket(server.socket, server_side=True,
                                        do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
