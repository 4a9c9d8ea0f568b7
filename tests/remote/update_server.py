#!/usr/bin/env python3
"""A stand-in update service on 127.0.0.1, standard library only.

  update_server.py DIR

Prints its port on the first line of stdout. Every POST is recorded as one
JSON line in DIR/requests.jsonl: path, content type and the form fields in
their order as parse_qsl reads them. The answer is DIR/answer.json:
{"status": 200, "body": "..."}, read afresh for every request.
"""
import json
import os
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer
from urllib.parse import parse_qsl

FOLDER = sys.argv[1]


class Handler(BaseHTTPRequestHandler):
    def do_POST(self):
        n = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(n).decode("ascii", errors="replace")
        record = {"path": self.path, "contentType": self.headers.get("Content-Type", "")}
        try:
            record["fields"] = parse_qsl(body, keep_blank_values=True, strict_parsing=True)
        except ValueError as e:
            record["error"] = "%s: %r" % (e, body)
        with open(os.path.join(FOLDER, "requests.jsonl"), "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")
        with open(os.path.join(FOLDER, "answer.json"), encoding="utf-8") as f:
            answer = json.load(f)
        data = answer["body"].encode("utf-8")
        self.send_response(answer["status"])
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def main():
    server = HTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
