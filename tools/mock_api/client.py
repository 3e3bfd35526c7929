"""Python client of the mock's control API (standard library only).

    from client import MockClient
    mock = MockClient()               # URL from $MOCK_CONTROL
    mock.reset()
    mock.set_scene({"public_ip": "203.0.113.7", "cloudflare": [...]})
    mock.add_rule(host="api.ipify.org", status=503, body="busy")
    requests = mock.requests(host="api.cloudflare.com")
"""

import json
import os
import time
import urllib.error
import urllib.request

from mock_api import query_matches


class MockError(RuntimeError):
    pass


class MockClient:
    def __init__(self, url=None, timeout=10):
        self.url = (url or os.environ.get("MOCK_CONTROL") or
                    "http://127.0.0.1:8080").rstrip("/")
        self.timeout = timeout

    def _call(self, method, path, payload=None):
        data = None if payload is None else json.dumps(payload).encode()
        req = urllib.request.Request(self.url + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=self.timeout) as r:
                return json.loads(r.read().decode() or "null")
        except urllib.error.HTTPError as e:
            raise MockError("%s %s: %d %s" % (method, path, e.code,
                                              e.read().decode(errors="replace")))

    def wait_ready(self, seconds=20):
        deadline = time.monotonic() + seconds
        while True:
            try:
                return self._call("GET", "/health")
            except (OSError, MockError):
                if time.monotonic() > deadline:
                    raise MockError("mock not answering at " + self.url)
                time.sleep(0.1)

    def reset(self):
        return self._call("POST", "/reset", {})

    def set_scene(self, scene):
        return self._call("POST", "/state", scene)

    def state(self):
        return self._call("GET", "/state")

    def add_rule(self, **rule):
        return self._call("POST", "/rules", rule)

    def clear_rules(self):
        return self._call("DELETE", "/rules")

    def log(self):
        return self._call("GET", "/log")

    def drop_connections(self, host=None):
        """Ends the open connections made for `host` (all when None)."""
        return self._call("POST", "/drop", {} if host is None else {"host": host})

    def clear_log(self):
        return self._call("DELETE", "/log")

    def requests(self, host=None, method=None, path=None, path_prefix="",
                 query=None):
        """Recorded requests (TLS failures excluded), oldest first, filtered.
        `path` and `path_prefix` see the target as sent, query string
        included; `query` ("name=a.example.com&type=A") wants each of its
        parameters in the request's query, percent-decoded, in any order."""
        return [e for e in self.log() if e["kind"] == "request"
                and host in (None, e["host"]) and method in (None, e["method"])
                and path in (None, e["path"]) and e["path"].startswith(path_prefix)
                and (query is None or query_matches(query, e["path"]))]

    def cloudflare_record(self, zone_id, record_id):
        for r in self.state()["cloudflare"]:
            if r["zone_id"] == zone_id and r["id"] == record_id:
                return r
        return None

    def godaddy_zone(self, domain):
        return self.state()["godaddy"].get(domain)


def header(entry, name):
    """The value of a recorded request's header (case ignored), or None."""
    for k, v in entry["headers"]:
        if k.lower() == name.lower():
            return v
    return None
