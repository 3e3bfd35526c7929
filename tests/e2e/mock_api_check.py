"""Checks the API mock itself, from inside the isolated runner (run by
mock_api.sh): every other network scenario trusts what it answers and logs."""

import http.client
import json
import os
import ssl
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tools", "mock_api"))
from client import MockClient, header  # noqa: E402

mock = MockClient()
trusted = ssl.create_default_context(cafile=os.environ["MOCK_DIR"] + "/ca.pem")
untrusted = ssl.create_default_context(
    cafile=os.environ["MOCK_DIR"] + "/untrusted-ca.pem")
failures = []

CF, GD, IP = "api.cloudflare.com", "api.godaddy.com", "api.ipify.org"
CF_AUTH = {"Authorization": "Bearer cf-test-token"}
GD_AUTH = {"Authorization": "Bearer gd-test-token"}
REC = "/client/v4/zones/z1/dns_records/r1"
ZONE = "/v3/domains/zones/example.net/dns-records"


def call(host, method, path, headers=None, body=b"", ctx=trusted):
    conn = http.client.HTTPSConnection(host, 443, context=ctx, timeout=10)
    try:
        conn.request(method, path, body=body or None, headers=headers or {})
        r = conn.getresponse()
        return r.status, r.read()
    finally:
        conn.close()


def expect(name, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (name, got, want))


def scene():
    mock.reset()
    mock.set_scene({
        "public_ip": "198.51.100.9",
        "cloudflare": [{"zone_id": "z1", "zone_name": "example.com", "id": "r1",
                        "name": "home.example.com", "content": "198.51.100.4",
                        "ttl": 300}],
        "godaddy": {"example.net": [
            {"type": "A", "name": "@", "data": "198.51.100.4", "ttl": 600},
            {"type": "A", "name": "www", "data": "198.51.100.5", "ttl": 600},
            {"type": "TXT", "name": "@", "data": "v=spf1", "ttl": 600}]}})


# (name, host, method, path, headers, body, status, what the answer must hold)
ROWS = [
    ("ipify address", IP, "GET", "/", {}, b"", 200, b"198.51.100.9"),
    ("ipify other path", IP, "GET", "/x", {}, b"", 404, None),
    ("cf no token", CF, "GET", REC, {}, b"", 401, b'"code":10000'),
    ("cf wrong token", CF, "GET", REC, {"Authorization": "Bearer nope"}, b"", 403, b'"success":false'),
    ("cf basic scheme", CF, "GET", REC, {"Authorization": "Basic cf-test-token"}, b"", 401, None),
    ("cf record", CF, "GET", REC, CF_AUTH, b"", 200, b'"content":"198.51.100.4"'),
    ("cf unknown record", CF, "GET", "/client/v4/zones/z1/dns_records/nope", CF_AUTH, b"", 404, b'"code":81044'),
    ("cf bad route", CF, "GET", "/client/v4/zones/z1", CF_AUTH, b"", 404, b'"code":7003'),
    ("cf put not json", CF, "PUT", REC, CF_AUTH, b"{", 400, b'"code":9207'),
    ("cf put not ipv4", CF, "PUT", REC, CF_AUTH, b'{"content":"1.2.3"}', 400, b'"code":9005'),
    ("cf put", CF, "PUT", REC, CF_AUTH,
     b'{"name":"home.example.com","ttl":120,"type":"A","content":"203.0.113.7","proxied":true}',
     200, b'"content":"203.0.113.7"'),
    ("gd no token", GD, "GET", ZONE, {}, b"", 401, b'"code":"UNABLE_TO_AUTHENTICATE"'),
    ("gd wrong token", GD, "GET", ZONE, CF_AUTH, b"", 403, b'"code":"ACCESS_DENIED"'),
    ("gd sso-key without a pair", GD, "GET", ZONE, {"Authorization": "sso-key gd-test-token"}, b"", 401,
     b'{"code":"UNABLE_TO_AUTHENTICATE","message":"Unauthorized : Could not authenticate API key/secret"}'),
    ("gd wrong pair", GD, "GET", ZONE, {"Authorization": "sso-key gd-key:gd-secret"}, b"", 403, b'"code":"ACCESS_DENIED"'),
    ("gd unknown domain", GD, "GET", "/v3/domains/zones/nope.net/dns-records", GD_AUTH, b"", 404, b'"code":"UNKNOWN_DOMAIN"'),
    ("gd bad body", GD, "PUT", "/v1/domains/example.net/records/A/@", GD_AUTH, b'[{"ttl":600}]', 422, b'"code":"INVALID_BODY"'),
    ("gd empty array", GD, "PUT", "/v1/domains/example.net/records/A/@", GD_AUTH, b'[]', 422, None),
    ("gd put", GD, "PUT", "/v1/domains/example.net/records/A/@", GD_AUTH, b'[{"data":"203.0.113.7","ttl":600}]', 200, b""),
    ("unknown host", "closed-port.test", "GET", "/", {}, b"", None, None),
]

scene()
for name, host, method, path, headers, body, status, holds in ROWS:
    try:
        got_status, got_body = call(host, method, path, headers, body)
    except OSError:
        got_status, got_body = None, b""
    expect(name + " status", got_status, status)
    if holds is not None and holds not in got_body:
        failures.append("%s: body %r lacks %r" % (name, got_body[:200], holds))

# The writes changed what the next reads return, and nothing else.
rec = mock.cloudflare_record("z1", "r1")
expect("cf content", rec["content"], "203.0.113.7")
expect("cf ttl", rec["ttl"], 120)
expect("cf proxied", rec["proxied"], True)
zone = mock.godaddy_zone("example.net")
expect("gd zone", sorted((r["type"], r["name"], r["data"]) for r in zone),
       [("A", "@", "203.0.113.7"), ("A", "www", "198.51.100.5"), ("TXT", "@", "v=spf1")])
status, body = call(GD, "GET", ZONE, GD_AUTH)
expect("gd read back", any(r == {"type": "A", "name": "@", "data": "203.0.113.7", "ttl": 600}
                           for r in json.loads(body)), True)

# A key pair as the GoDaddy credential: only "sso-key" fits it.
mock.set_scene({"tokens": {"godaddy": "gd-key:gd-secret"}})
for auth, want in (("sso-key gd-key:gd-secret", 200), ("Bearer gd-key:gd-secret", 401), ("sso-key gd-key:x", 403)):
    expect("gd pair, " + auth, call(GD, "GET", ZONE, {"Authorization": auth})[0], want)

# The log keeps headers and body bytes exactly.
mock.clear_log()
raw = bytes([0x7B, 0xE9, 0x00, 0xFF, 0x7D])
call(CF, "PUT", REC, dict(CF_AUTH, **{"Content-Type": "application/json"}), raw)
entry = mock.requests(host=CF)[-1]
expect("log body", bytes.fromhex(entry["body_hex"]), raw)
expect("log latin-1 body", entry["body"].encode("latin-1"), raw)
expect("log header", header(entry, "content-type"), "application/json")

# Fault rules: first match wins, times runs out, prefix and method match.
scene()
mock.add_rule(host=IP, path="/", status=503, body="busy", times=1)
mock.add_rule(host=CF, path_prefix="/client/v4/zones/z1/", method="PUT", status=500, body="down")
mock.add_rule(host=IP, path="/", status=502, body="second")
expect("rule once", call(IP, "GET", "/"), (503, b"busy"))
expect("rule next", call(IP, "GET", "/"), (502, b"second"))
expect("rule prefix+method", call(CF, "PUT", REC, CF_AUTH, b'{"content":"1.1.1.1"}'), (500, b"down"))
expect("rule spares GET", call(CF, "GET", REC, CF_AUTH)[0], 200)
expect("rule spares record", mock.cloudflare_record("z1", "r1")["content"], "198.51.100.4")

mock.clear_rules()
mock.add_rule(host=IP, path="/", mode="high_bytes")
expect("high bytes", call(IP, "GET", "/"), (200, bytes(range(0x80, 0x100))))
mock.clear_rules()
mock.add_rule(host=IP, path="/", mode="huge", size_mb=1.5)
expect("huge size", len(call(IP, "GET", "/")[1]), 1536 * 1024)
mock.clear_rules()
mock.add_rule(host=IP, path="/", mode="empty", status=204)
expect("empty", call(IP, "GET", "/"), (204, b""))
mock.clear_rules()
mock.add_rule(host=IP, path="/", delay=0.5)
start = time.monotonic()
expect("delay answer", call(IP, "GET", "/")[0], 200)
expect("delay waited", time.monotonic() - start >= 0.5, True)

mock.clear_rules()
mock.add_rule(host=IP, path="/", mode="cut", body="203.0.113.", announce=12)
try:
    call(IP, "GET", "/")
    failures.append("cut: a short body was read as whole")
except http.client.IncompleteRead as e:
    expect("cut partial", e.partial, b"203.0.113.")

mock.clear_rules()
mock.add_rule(host=IP, mode="close")
try:
    call(IP, "GET", "/")
    failures.append("close: an answer arrived")
except (http.client.RemoteDisconnected, ConnectionError):
    pass

# The untrusted certificate: refused with the test CA, shown only for its host.
mock.clear_rules()
mock.clear_log()
mock.add_rule(host=GD, mode="bad_cert")
try:
    call(GD, "GET", ZONE, GD_AUTH)
    failures.append("bad_cert: the test CA accepted the untrusted certificate")
except ssl.SSLCertVerificationError:
    pass
expect("bad_cert other host", call(IP, "GET", "/")[0], 200)
expect("bad_cert via its own CA",
       call(GD, "GET", ZONE, GD_AUTH, ctx=untrusted)[0], 200)
expect("bad_cert logged", sorted((e["sni"], e["certificate"]) for e in mock.log() if e["kind"] == "tls"),
       [(GD, "untrusted"), (GD, "untrusted"), (IP, "trusted")])

if failures:
    print("mock check failed:\n  " + "\n  ".join(failures))
    sys.exit(1)
print("mock check: all %d rows and the fault modes behave" % len(ROWS))
