#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Stand-ins for the weather services a live skycall-site asks, on a free loopback port (printed
# first): the geocoding and forecast services from the site suite's saved answers, and the
# National Weather Service's active alerts. The test changes them through files in STATE:
# "weather_code" (the current weather's WMO code), "alerts.json" (the alerts answer), "delay"
# (seconds before each answer) and "fail" (present: every answer is a 500).
# Arguments: FIXTURES STATE.
import json
import os
import sys
import time
import urllib.parse
from http.server import HTTPServer, BaseHTTPRequestHandler
from socketserver import ThreadingMixIn

fixtures, state = sys.argv[1:3]


def state_file(name, default=""):
    path = os.path.join(state, name)
    if not os.path.exists(path):
        return default
    with open(path, encoding="utf-8") as f:
        return f.read().strip()


def answer(path, query):
    if path == "/v1/search":
        with open(os.path.join(fixtures, "geocoding.json"), encoding="utf-8") as f:
            places = json.load(f).get(query.get("name", [""])[0].lower(), [])
        return {"results": places}
    if path == "/v1/forecast":
        with open(os.path.join(fixtures, "forecast-springfield.json"), encoding="utf-8") as f:
            forecast = json.load(f)
        forecast["current"]["weather_code"] = int(state_file("weather_code", "2"))
        return forecast
    if path == "/alerts/active":
        return json.loads(state_file("alerts.json", '{"features": []}'))
    return None


class Services(BaseHTTPRequestHandler):
    def do_GET(self):
        address = urllib.parse.urlsplit(self.path)
        time.sleep(float(state_file("delay", "0")))
        body = answer(address.path, urllib.parse.parse_qs(address.query))
        status = 500 if os.path.exists(os.path.join(state, "fail")) else 200
        if body is None:
            status = 404
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


class Server(ThreadingMixIn, HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Services)
print(server.server_address[1], flush=True)
server.serve_forever()
