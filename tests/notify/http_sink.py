#!/usr/bin/python3
"""An HTTP receiver for the delivery's tests: the body of every POST it takes
is written to FOLDER/<n>.json. The first COUNT requests may be answered with
another status instead (not written). Prints "ready" once it listens.

usage: http_sink.py PORT FOLDER [--answer-first COUNT STATUS]
"""
import argparse
import os
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("folder")
    parser.add_argument("--answer-first", nargs=2, type=int, default=[0, 200])
    args = parser.parse_args()
    state = {"requests": 0, "taken": 0}
    lock = threading.Lock()

    class Handler(BaseHTTPRequestHandler):
        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            with lock:
                state["requests"] += 1
                refuse = state["requests"] <= args.answer_first[0]
                if not refuse:
                    state["taken"] += 1
                    name = os.path.join(args.folder, "%06d.json" % state["taken"])
            if refuse:
                self.send_response(args.answer_first[1])
                self.end_headers()
                self.wfile.write(b'{"errcode":1}')
                return
            with open(name + ".part", "wb") as f:
                f.write(body)
            os.rename(name + ".part", name)
            reply = b'{"errcode":0,"errmsg":"ok"}'
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
