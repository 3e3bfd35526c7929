#!/usr/bin/env python3
"""Local stand-in for the HTTPS services nimbard talks to.

One TLS listener answers for api.cloudflare.com, api.godaddy.com and the two
address echo services, api.ipify.org and checkip.amazonaws.com (chosen by the
Host header), with certificates issued by a test CA made at start-up. A
plain-HTTP control listener lets tests set the scene, inject faults, end open
connections and read back every request that arrived.

Standard library only (plus the openssl command line for the certificates).
"""

import argparse
import base64
import copy
import ipaddress
import json
import os
import re
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
from functools import partial
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CLOUDFLARE = "api.cloudflare.com"
GODADDY = "api.godaddy.com"
IPIFY = "api.ipify.org"
CHECKIP = "checkip.amazonaws.com"
# Serves nothing (421), but its name is in the certificate: a client that
# follows a redirect there completes the handshake, and the request that
# reaches it shows in the log.
ELSEWHERE = "redirect-target.test"
HOSTS = (CLOUDFLARE, GODADDY, IPIFY, CHECKIP, ELSEWHERE)

CF_ZONES_PATH = "/client/v4/zones"
CF_RECORDS_PATH = re.compile(r"^/client/v4/zones/([^/?#]+)/dns_records$")
CF_PATH = re.compile(r"^/client/v4/zones/([^/?#]+)/dns_records/([^/?#]+)$")
GD_ZONE_PATH = re.compile(r"^/v3/domains/zones/([^/?#]+)/dns-records$")
GD_PUT_PATH = re.compile(r"^/v1/domains/([^/?#]+)/records/(A|AAAA)/([^/?#]+)$")

FAULT_MODES = ("respond", "cut", "huge", "high_bytes", "empty", "close",
               "bad_cert", "dribble")

# Requests larger than this are refused: the client never sends more than a
# few hundred bytes, and the mock must not be the thing that runs out of memory.
MAX_REQUEST_BODY = 1 << 20


# --------------------------------------------------------------- certificates

def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def _make_ca(directory, stem, subject):
    key, pem, der = (os.path.join(directory, stem + ext)
                     for ext in (".key", ".pem", ".der"))
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-days", "30", "-subj", subject, "-keyout", key, "-out", pem,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    _openssl("x509", "-in", pem, "-outform", "DER", "-out", der)
    return key, pem


def _make_server_cert(directory, stem, ca_key, ca_pem):
    key, csr, pem = (os.path.join(directory, stem + ext)
                     for ext in (".key", ".csr", ".pem"))
    ext = os.path.join(directory, stem + ".ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=" + ",".join("DNS:" + h for h in HOSTS) + "\n")
    _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj",
             "/CN=" + HOSTS[0], "-keyout", key, "-out", csr)
    _openssl("x509", "-req", "-in", csr, "-CA", ca_pem, "-CAkey", ca_key,
             "-CAcreateserial", "-days", "30", "-sha256", "-extfile", ext,
             "-out", pem)
    return pem, key


def make_certificates(directory):
    """Writes ca.pem/ca.der (the trusted test CA), server.pem/server.key, and
    an unrelated CA with its own server certificate for the untrusted mode."""
    os.makedirs(directory, exist_ok=True)
    good_pem = os.path.join(directory, "server.pem")
    bad_pem = os.path.join(directory, "untrusted-server.pem")
    if not os.path.exists(good_pem):
        ca_key, ca_pem = _make_ca(directory, "ca", "/CN=nimbard test CA")
        _make_server_cert(directory, "server", ca_key, ca_pem)
    if not os.path.exists(bad_pem):
        ca_key, ca_pem = _make_ca(directory, "untrusted-ca",
                                  "/CN=nimbard untrusted CA")
        _make_server_cert(directory, "untrusted-server", ca_key, ca_pem)
    return ((good_pem, os.path.join(directory, "server.key")),
            (bad_pem, os.path.join(directory, "untrusted-server.key")))


# ---------------------------------------------------------------------- state

DEFAULT_TOKENS = {"cloudflare": "cf-test-token", "godaddy": "gd-test-token"}
DEFAULT_PUBLIC_IP = "203.0.113.7"


def _now():
    return time.strftime("%Y-%m-%dT%H:%M:%S.000000Z", time.gmtime())


def cloudflare_record(zone_id, zone_name, record_id, name, content,
                      ttl=1, proxied=False, record_type="A", comment=None,
                      tags=()):
    stamp = _now()
    return {
        "id": record_id, "zone_id": zone_id, "zone_name": zone_name,
        "name": name, "type": record_type, "content": content,
        "proxiable": True, "proxied": proxied, "ttl": ttl,
        "settings": {"flatten_cname": False} if record_type == "CNAME" else {},
        "meta": {"auto_added": False, "managed_by_apps": False,
                 "managed_by_argo_tunnel": False},
        "comment": comment, "tags": list(tags), "created_on": stamp,
        "modified_on": stamp,
    }


def cloudflare_zone(zone_id, name):
    """A zone as Cloudflare lists it, nested objects included."""
    stamp = _now()
    return {
        "id": zone_id, "name": name, "status": "active", "paused": False,
        "type": "full", "development_mode": 0,
        "name_servers": ["ada.ns.cloudflare.com", "bob.ns.cloudflare.com"],
        "original_name_servers": None, "original_registrar": None,
        "original_dnshost": None, "modified_on": stamp, "created_on": stamp,
        "activated_on": stamp,
        "meta": {"step": 2, "custom_certificate_quota": 0,
                 "page_rule_quota": 3, "phishing_detected": False},
        "owner": {"id": None, "type": "user", "email": None},
        "account": {"id": "mock-account", "name": "Mock account"},
        "tenant": {"id": None, "name": None}, "tenant_unit": {"id": None},
        "permissions": ["#dns_records:edit", "#dns_records:read", "#zone:read"],
        "plan": {"id": "0feeeeeeeeeeeeeeeeeeeeeeeeeeeeee",
                 "name": "Free Website", "price": 0, "currency": "USD",
                 "frequency": "", "is_subscribed": False,
                 "can_subscribe": False, "legacy_id": "free",
                 "legacy_discount": False, "externally_managed": False},
    }


class MockState:
    """Everything the services remember, behind one lock."""

    def __init__(self):
        self.lock = threading.Lock()
        self.connections = {}  # open TLS socket -> its SNI; reset keeps them
        self.reset()

    def reset(self):
        self.tokens = dict(DEFAULT_TOKENS)
        self.public_ip = DEFAULT_PUBLIC_IP
        self.public_ip_by_host = {}  # echo host -> address, else public_ip
        self.cf_zones = {}    # zone_id -> zone name
        self.cf_records = {}  # (zone_id, record_id) -> record object
        self.gd_zones = {}    # domain -> [ {type, name, data, ttl}, ... ]
        self.rules = []
        self.log = []

    def snapshot(self):
        return {
            "tokens": dict(self.tokens),
            "public_ip": self.public_ip,
            "public_ip_by_host": dict(self.public_ip_by_host),
            "cloudflare_zones": [{"id": z, "name": n}
                                 for z, n in self.cf_zones.items()],
            "cloudflare": [copy.deepcopy(r) for r in self.cf_records.values()],
            "godaddy": copy.deepcopy(self.gd_zones),
            "rules": copy.deepcopy(self.rules),
        }

    def apply(self, scene):
        """Merges a scene description (see README) into the state."""
        if "tokens" in scene:
            self.tokens.update(scene["tokens"])
        if "public_ip" in scene:
            self.public_ip = str(scene["public_ip"])
        for host, address in scene.get("public_ip_by_host", {}).items():
            if address is None:
                self.public_ip_by_host.pop(host.lower(), None)
            else:
                self.public_ip_by_host[host.lower()] = str(address)
        for z in scene.get("cloudflare_zones", []):
            self.cf_zones[z["id"]] = z["name"]
        for r in scene.get("cloudflare", []):
            zone_id = r["zone_id"]
            zone_name = r.get("zone_name", self.cf_zones.get(zone_id, "example.com"))
            self.cf_zones[zone_id] = zone_name
            rec = cloudflare_record(zone_id, zone_name, r["id"],
                                    r.get("name", zone_name),
                                    r.get("content", ""), r.get("ttl", 1),
                                    r.get("proxied", False), r.get("type", "A"),
                                    r.get("comment"), r.get("tags", []))
            self.cf_records[(zone_id, r["id"])] = rec
        for domain, records in scene.get("godaddy", {}).items():
            self.gd_zones[domain] = [dict(x) for x in records]
        for rule in scene.get("rules", []):
            self.rules.append(validate_rule(dict(rule)))

    def drop_connections(self, host):
        """Ends the open connections made for `host` (all, when None): a
        client's pool would otherwise keep reaching a host that the hosts file
        no longer points here. The base class's shutdown leaves the TLS
        object to the thread reading from it, which then sees the end."""
        dropped = [s for s, sni in self.connections.items()
                   if host in (None, sni)]
        for s in dropped:
            try:
                socket.socket.shutdown(s, socket.SHUT_RDWR)
            except OSError:
                pass
        self.log.append({"kind": "drop", "time": time.time(), "host": host,
                         "connections": len(dropped)})
        return len(dropped)


# ---------------------------------------------------------------------- rules

def split_target(target):
    """A request target's path and its query parameters (the last of each
    name), both percent-decoded."""
    parts = urllib.parse.urlsplit(target)
    return (urllib.parse.unquote(parts.path),
            dict(urllib.parse.parse_qsl(parts.query, keep_blank_values=True)))


def query_matches(wanted, target):
    """Whether each parameter of the query string `wanted` is in the
    target's query with that value."""
    have = split_target(target)[1]
    return all(have.get(k) == v for k, v in
               urllib.parse.parse_qsl(wanted, keep_blank_values=True))


def rule_matches(rule, host, method, path):
    if rule.get("host") not in (None, host):
        return False
    if rule.get("method") not in (None, method):
        return False
    if "path" in rule and rule["path"] != path:
        return False
    if "path_prefix" in rule and not path.startswith(rule["path_prefix"]):
        return False
    if "query" in rule and not query_matches(rule["query"], path):
        return False
    return rule.get("times", 1) != 0


def validate_rule(rule):
    mode = rule.setdefault("mode", "respond")
    if mode not in FAULT_MODES:
        raise ValueError("unknown mode %r" % mode)
    rule.setdefault("times", -1)  # -1: every matching request
    rule.setdefault("status", 200)
    if "body_hex" in rule:
        bytes.fromhex(rule["body_hex"])
    return rule


def rule_body(rule):
    if "body_hex" in rule:
        return bytes.fromhex(rule["body_hex"])
    return rule.get("body", "").encode("latin-1")


# --------------------------------------------------------------- the services

def _json(obj):
    return json.dumps(obj, separators=(",", ":")).encode()


def cf_error(code, message):
    return _json({"success": False, "errors": [{"code": code, "message": message}],
                  "messages": [], "result": None})


def gd_error(code, message):
    return _json({"code": code, "message": message})


def bearer_status(headers, token):
    """None when the bearer token is right, else the refusal status."""
    auth = headers.get("Authorization")
    if auth is None or not auth.startswith("Bearer "):
        return 401
    return None if auth[len("Bearer "):] == token else 403


def godaddy_auth_status(headers, token):
    """GoDaddy takes a key pair only as "sso-key KEY:SECRET" and a token only
    as "Bearer TOKEN": a scheme that does not fit the credential's form is
    401 whatever the credential; a fitting one with a wrong credential, 403."""
    scheme, _, credential = (headers.get("Authorization") or "").partition(" ")
    if (scheme, ":" in credential) not in (("sso-key", True), ("Bearer", False)):
        return 401
    return None if credential == token else 403


def is_ipv4(text):
    parts = text.split(".")
    return (len(parts) == 4 and
            all(p.isdigit() and p.isascii() and len(p) <= 3 and int(p) <= 255
                for p in parts))


def is_ipv6(text):
    """Any textual form of an IPv6 address (upper case, "::", a dotted tail); no zone."""
    if not isinstance(text, str) or "%" in text or not text.isascii():
        return False
    try:
        ipaddress.IPv6Address(text)
        return True
    except ValueError:
        return False


# The address records and the values each takes.
ADDRESS_CHECK = {"A": is_ipv4, "AAAA": is_ipv6}

JSON = "application/json"

# What a PUT or PATCH may carry, and the JSON types each must have.
CF_RECORD_FIELDS = {"content": str, "name": str, "type": str, "ttl": int,
                    "proxied": bool, "comment": (str, type(None)),
                    "tags": list}


def cf_page(items, query, default_per_page):
    """A Cloudflare list answer: one page of `items` and its result_info."""
    def positive(text, default):
        ok = text and len(text) < 10 and text.isascii() and text.isdigit()
        return int(text) if ok and int(text) > 0 else default
    page = positive(query.get("page"), 1)
    per_page = positive(query.get("per_page"), default_per_page)
    shown = items[(page - 1) * per_page:page * per_page]
    return 200, _json({
        "result": shown,
        "result_info": {"page": page, "per_page": per_page,
                        "count": len(shown), "total_count": len(items),
                        "total_pages": -(-len(items) // per_page)},
        "success": True, "errors": [], "messages": []}), JSON


def cf_change_record(record, method, body):
    """Applies a PUT (the record replaced: comment and tags it leaves out are
    cleared) or a PATCH (only the fields sent) to `record`; None when done,
    else the refusal."""
    try:
        change = json.loads(body.decode("utf-8"))
    except ValueError:
        change = None
    if (not isinstance(change, dict) or
            any(k in change and not isinstance(change[k], kind)
                for k, kind in CF_RECORD_FIELDS.items()) or
            not all(isinstance(t, str) for t in change.get("tags", []))):
        return 400, cf_error(9207, "Request body is invalid."), JSON
    if method == "PUT":
        if change.get("type", "A") not in ADDRESS_CHECK:
            return 400, cf_error(9004, "This record type cannot be changed."), JSON
        change = {"type": "A", "comment": None, "tags": [], **change}
    content = change.get("content", record["content"] if method == "PATCH" else None)
    new_type = change.get("type", record["type"])
    if new_type == "A" and not (isinstance(content, str) and is_ipv4(content)):
        return 400, cf_error(9005, "Content for A record must be a valid IPv4 address."), JSON
    if new_type == "AAAA" and not is_ipv6(content):
        return 400, cf_error(9005, "Content for AAAA record must be a valid IPv6 address."), JSON
    record.update({k: v for k, v in change.items() if k in CF_RECORD_FIELDS})
    record["modified_on"] = _now()
    return None


def serve_cloudflare(state, method, target, headers, body):
    refused = bearer_status(headers, state.tokens["cloudflare"])
    if refused == 401:
        return 401, cf_error(10000, "Authentication error"), JSON
    if refused == 403:
        return 403, cf_error(9109, "Unauthorized to access requested resource"), JSON
    path, query = split_target(target)
    no_route = (404, cf_error(7003, "Could not route to %s, perhaps your object identifier is invalid?" % path), JSON)
    not_allowed = (405, cf_error(10405, "Method not allowed"), JSON)
    if path == CF_ZONES_PATH:
        if method != "GET":
            return not_allowed
        name = query.get("name", "").lower()
        return cf_page([cloudflare_zone(z, n) for z, n in state.cf_zones.items()
                        if (not name or n.lower() == name) and
                        query.get("status", "active") == "active"], query, 20)
    m = CF_RECORDS_PATH.match(path)
    if m:
        if m.group(1) not in state.cf_zones:
            return no_route
        if method != "GET":
            return not_allowed
        wanted = {k: query[k].lower() for k in ("type", "name", "content")
                  if k in query}
        return cf_page([r for (z, _), r in state.cf_records.items()
                        if z == m.group(1) and
                        all(str(r[k]).lower() == v for k, v in wanted.items())],
                       query, 100)
    m = CF_PATH.match(path)
    if not m:
        return no_route
    record = state.cf_records.get((m.group(1), m.group(2)))
    if record is None:
        return 404, cf_error(81044, "Record does not exist."), JSON
    if method in ("PUT", "PATCH"):
        refusal = cf_change_record(record, method, body)
        if refusal:
            return refusal
    elif method != "GET":
        return not_allowed
    return 200, _json({"result": record, "success": True, "errors": [],
                       "messages": []}), JSON


def serve_godaddy(state, method, target, headers, body):
    refused = godaddy_auth_status(headers, state.tokens["godaddy"])
    if refused == 401:
        return 401, gd_error("UNABLE_TO_AUTHENTICATE", "Unauthorized : Could not authenticate API key/secret"), "application/json"
    if refused == 403:
        return 403, gd_error("ACCESS_DENIED", "Authenticated user is not allowed access"), "application/json"
    path = split_target(target)[0]
    m = GD_ZONE_PATH.match(path)
    if m and method == "GET":
        zone = state.gd_zones.get(m.group(1))
        if zone is None:
            return 404, gd_error("UNKNOWN_DOMAIN", "The given domain is not registered, or does not have a zone file"), "application/json"
        return 200, _json(zone), "application/json"
    m = GD_PUT_PATH.match(path)
    if m and method == "PUT":
        domain, rtype, name = m.group(1), m.group(2), m.group(3)
        zone = state.gd_zones.get(domain)
        if zone is None:
            return 404, gd_error("UNKNOWN_DOMAIN", "The given domain is not registered, or does not have a zone file"), "application/json"
        try:
            items = json.loads(body.decode("latin-1"))
            ok = (isinstance(items, list) and items and
                  all(isinstance(i, dict) and isinstance(i.get("data"), str)
                      and ADDRESS_CHECK[rtype](i["data"]) for i in items))
        except ValueError:
            ok = False
        if not ok:
            return 422, gd_error("INVALID_BODY", "Request body doesn't fulfill schema, see details in `fields`"), "application/json"
        kept = [r for r in zone if not (r.get("type") == rtype and r.get("name") == name)]
        for i in items:
            kept.append({"type": rtype, "name": name, "data": i["data"],
                         "ttl": i.get("ttl", 3600)})
        state.gd_zones[domain] = kept
        return 200, b"", "application/json"
    return 404, gd_error("NOT_FOUND", "The requested resource was not found"), "application/json"


def serve_address(host, ending, state, method, target, headers, body):
    """An address echo service: the public address (the host's own when the
    scene gives one), then `ending` as the real service adds it."""
    if method == "GET" and split_target(target)[0] == "/":
        address = state.public_ip_by_host.get(host, state.public_ip)
        return 200, address.encode("latin-1") + ending, "text/plain"
    return 404, b"Not Found", "text/plain"


SERVICES = {CLOUDFLARE: serve_cloudflare, GODADDY: serve_godaddy,
            IPIFY: partial(serve_address, IPIFY, b""),
            CHECKIP: partial(serve_address, CHECKIP, b"\n")}


# ----------------------------------------------------------- the TLS listener

class ApiHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "nimbard-mock/1.0"

    def log_message(self, fmt, *args):  # the request log replaces stderr chatter
        pass

    def _host(self):
        return (self.headers.get("Host") or "").split(":")[0].lower()

    def _handle(self):
        state = self.server.state
        length = self.headers.get("Content-Length")
        try:
            length = int(length) if length is not None else 0
        except ValueError:
            length = -1
        if length < 0 or length > MAX_REQUEST_BODY:
            self.close_connection = True
            self._send(400, b"bad Content-Length", "text/plain")
            return
        body = self.rfile.read(length) if length else b""
        host, method, path = self._host(), self.command, self.path
        with state.lock:
            state.log.append({
                "kind": "request", "time": time.time(), "method": method,
                "host": host, "path": path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": body.decode("latin-1"), "body_hex": body.hex(),
            })
            rule = next((r for r in state.rules
                         if r["mode"] != "bad_cert" and
                         rule_matches(r, host, method, path)), None)
            if rule is not None and rule["times"] > 0:
                rule["times"] -= 1
            if rule is None:
                service = SERVICES.get(host)
                if service is None:
                    answer = (421, b"Misdirected Request", "text/plain")
                else:
                    answer = service(state, method, path, self.headers, body)
        if rule is not None:
            self._fault(rule)
        else:
            self._send(*answer)

    def _head(self, status, content_type, length, location=None):
        """The status line and headers as bytes."""
        lines = ["HTTP/1.1 %d %s" % (status, self.responses.get(status, ("",))[0]),
                 "Server: " + self.server_version,
                 "Date: " + self.date_time_string(),
                 "Content-Type: " + content_type,
                 "Content-Length: %d" % length]
        if location:
            lines.append("Location: " + location)
        if self.close_connection:
            lines.append("Connection: close")
        return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")

    def _send(self, status, body, content_type, length=None, location=None):
        if status < 200:
            # A 1xx is interim to any HTTP/1.1 client, which would then wait
            # for a final answer that never comes: end the connection instead.
            self.close_connection = True
        head = self._head(status, content_type,
                          len(body) if length is None else length, location)
        self.wfile.write(head + body)
        self.wfile.flush()

    def _dribble(self, data, interval):
        """One byte at a time, `interval` seconds apart."""
        for i in range(len(data)):
            self.wfile.write(data[i:i + 1])
            self.wfile.flush()
            if i + 1 < len(data):
                time.sleep(interval)

    def _fault(self, rule):
        if rule.get("delay"):
            time.sleep(float(rule["delay"]))
        mode, status = rule["mode"], int(rule["status"])
        ctype = rule.get("content_type", "application/json")
        location = rule.get("location")
        if mode == "respond":
            self._send(status, rule_body(rule), ctype, location=location)
        elif mode == "empty":
            self._send(status, b"", ctype)
        elif mode == "high_bytes":
            self._send(status, rule_body(rule) or bytes(range(0x80, 0x100)), ctype)
        elif mode == "huge":
            self._send_huge(status, ctype, int(float(rule.get("size_mb", 5)) * 1024 * 1024))
        elif mode == "cut":
            # Announce more than is sent, then drop the connection.
            body = rule_body(rule) or b"203.0.113."
            announced = int(rule.get("announce", len(body) * 2 + 10))
            self._send(status, body, ctype, length=announced)
            if rule.get("hold"):
                time.sleep(float(rule["hold"]))  # short body, connection kept open
            self._drop()
        elif mode == "dribble":
            body = rule_body(rule) or b"203.0.113.7"
            head = self._head(status, ctype, len(body), location)
            interval = float(rule.get("interval", 8))
            if rule.get("part", "body") == "headers":
                self._dribble(head + body, interval)
            else:
                self.wfile.write(head)
                self._dribble(body, interval)
        elif mode == "close":
            self._drop()  # no status line at all

    def _send_huge(self, status, ctype, size):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        chunk = (b"x" * 1023 + b"\n") * 64
        left = size
        while left > 0:
            piece = chunk[:min(left, len(chunk))]
            self.wfile.write(piece)
            left -= len(piece)
        self.wfile.flush()

    def _drop(self):
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    do_GET = do_PUT = do_POST = do_DELETE = do_PATCH = _handle


class TlsServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, state, good, bad):
        super().__init__(address, ApiHandler)
        self.state = state
        self.good_ctx = self._context(*good)
        self.bad_ctx = self._context(*bad)
        self.good_ctx.sni_callback = self._choose_certificate
        self.handshake = threading.local()

    @staticmethod
    def _context(cert, key):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(cert, key)
        return ctx

    def _choose_certificate(self, sslobj, server_name, _ctx):
        host = (server_name or "").lower()
        with self.state.lock:
            bad = any(r["mode"] == "bad_cert" and r.get("host") in (None, host)
                      and r.get("times", -1) != 0 for r in self.state.rules)
        if bad:
            sslobj.context = self.bad_ctx
        self.handshake.sni = host
        self.handshake.certificate = "untrusted" if bad else "trusted"
        return None

    def _log_handshake(self, error):
        hs = self.handshake
        with self.state.lock:
            self.state.log.append({
                "kind": "tls", "time": time.time(),
                "sni": getattr(hs, "sni", ""),
                "certificate": getattr(hs, "certificate", "trusted"),
                "ok": error is None, "error": error})

    def finish_request(self, request, client_address):
        # The handshake runs here, on the connection's own thread, so that a
        # slow or failing client never holds up the accept loop. With TLS 1.3
        # a client that rejects the certificate does so after the server side
        # is done, so "ok" only means the server finished its part.
        request.settimeout(60)
        # Headers and body leave in separate writes: without this, Nagle and
        # the client's delayed ACK add 40 ms to every answer.
        request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.handshake.sni, self.handshake.certificate = "", "trusted"
        try:
            tls = self.good_ctx.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            self._log_handshake(str(e))
            return
        self._log_handshake(None)
        with self.state.lock:
            self.state.connections[tls] = self.handshake.sni
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            with self.state.lock:
                self.state.connections.pop(tls, None)
            try:
                tls.close()
            except OSError:
                pass


# ------------------------------------------------------ the control listener

class ControlHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def _reply(self, status, obj):
        body = _json(obj)
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length) if length > 0 else b""
        return json.loads(raw.decode()) if raw.strip() else {}

    def do_GET(self):
        state = self.server.state
        with state.lock:
            if self.path == "/health":
                return self._reply(200, {"ok": True})
            if self.path == "/state":
                return self._reply(200, state.snapshot())
            if self.path == "/log":
                return self._reply(200, state.log)
        self._reply(404, {"error": "no such control path"})

    def do_POST(self):
        state = self.server.state
        try:
            body = self._body()
            with state.lock:
                if self.path == "/reset":
                    state.reset()
                elif self.path == "/state":
                    state.apply(body)
                elif self.path == "/rules":
                    state.rules.append(validate_rule(body))
                elif self.path == "/drop":
                    dropped = state.drop_connections(body.get("host"))
                    return self._reply(200, {"ok": True, "dropped": dropped})
                else:
                    return self._reply(404, {"error": "no such control path"})
        except (ValueError, KeyError, TypeError) as e:
            return self._reply(400, {"error": str(e)})
        self._reply(200, {"ok": True})

    def do_DELETE(self):
        state = self.server.state
        with state.lock:
            if self.path == "/rules":
                state.rules.clear()
            elif self.path == "/log":
                state.log.clear()
            else:
                return self._reply(404, {"error": "no such control path"})
        self._reply(200, {"ok": True})


class ControlServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, state):
        super().__init__(address, ControlHandler)
        self.state = state


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--dir", required=True, help="where the certificates go")
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--port", type=int, default=443)
    p.add_argument("--control-port", type=int, default=8080)
    p.add_argument("--scene", help="JSON file applied at start-up")
    args = p.parse_args(argv)

    good, bad = make_certificates(args.dir)
    state = MockState()
    if args.scene:
        with open(args.scene) as f:
            state.apply(json.load(f))
    tls = TlsServer((args.bind, args.port), state, good, bad)
    control = ControlServer((args.bind, args.control_port), state)
    threading.Thread(target=tls.serve_forever, daemon=True).start()
    print("mock: https on %s:%d, control on http://%s:%d" %
          (args.bind, args.port, args.bind, args.control_port), flush=True)
    try:
        control.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
