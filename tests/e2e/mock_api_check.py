"""Checks the API mock where a fault of its own would hide one of the program's (run by mock_api.sh inside the
isolated runner): the Authorization schemes it accepts for each credential, PATCH against PUT, the Cloudflare
searches, the second address service, the fault modes the scenarios use to break exchanges, and the route switch
that makes a host refuse connections. What it serves and logs is checked by the scenarios that use it."""

import http.client
import itertools
import json
import os
import ssl
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mock_api"))
from client import MockClient  # noqa: E402

mock, trusted = MockClient(), ssl.create_default_context(cafile=os.environ["MOCK_DIR"] + "/ca.pem")
CF, GD, IP, CK = "api.cloudflare.com", "api.godaddy.com", "api.ipify.org", "checkip.amazonaws.com"
REC, ZONE = "/client/v4/zones/z1/dns_records/r1", "/v3/domains/zones/example.net/dns-records"
failures = []


def call(host, path="/", auth=None, method="GET", body=None):
    conn = http.client.HTTPSConnection(host, 443, context=trusted, timeout=10)
    try:
        conn.request(method, path, body, headers={"Authorization": auth} if auth else {})
        r = conn.getresponse()
        return r.status, r.read()
    finally:
        conn.close()


def expect(name, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (name, got[:200] if isinstance(got, bytes) else got, want))


mock.reset()
mock.set_scene({"cloudflare": [{"zone_id": "z1", "zone_name": "example.com", "id": "r1", "name": "home.example.com", "content": "198.51.100.4"}],
                "godaddy": {"example.net": [{"type": "A", "name": "@", "data": "198.51.100.4", "ttl": 600}]}})
# (host, credential the mock holds, Authorization sent, status): a scheme that does not fit the credential is 401.
for host, token, auth, status in [
        (CF, "cf-test-token", "Bearer cf-test-token", 200), (CF, "cf-test-token", None, 401),
        (CF, "cf-test-token", "Basic cf-test-token", 401), (CF, "cf-test-token", "Bearer nope", 403),
        (GD, "gd-test-token", "Bearer gd-test-token", 200), (GD, "gd-test-token", None, 401),
        (GD, "gd-test-token", "sso-key gd-test-token", 401), (GD, "gd-test-token", "Bearer other", 403),
        (GD, "gd-key:gd-secret", "sso-key gd-key:gd-secret", 200), (GD, "gd-key:gd-secret", "Bearer gd-key:gd-secret", 401),
        (GD, "gd-key:gd-secret", "sso-key gd-key:x", 403)]:
    mock.set_scene({"tokens": {"cloudflare" if host == CF else "godaddy": token}})
    got = call(host, REC if host == CF else ZONE, auth)
    expect("%s holding %s, %s" % (host, token, auth), got[0], status)
    if host == GD and status == 401:
        expect("GoDaddy's 401 document", got[1], b'{"code":"UNABLE_TO_AUTHENTICATE","message":"Unauthorized : Could not authenticate API key/secret"}')


def cf(method, path, body=None):
    """Cloudflare's status, error codes, ids found and page count."""
    status, raw = call(CF, path, "Bearer cf-test-token", method, body)
    doc, ids = json.loads(raw), None
    if isinstance(doc["result"], list):
        ids = [x["id"] for x in doc["result"]]
    return status, [e["code"] for e in doc["errors"]], ids, doc.get("result_info", {}).get("total_pages")


mock.set_scene({"tokens": {"cloudflare": "cf-test-token"}, "cloudflare_zones": [{"id": "z0", "name": "Empty.example"}], "cloudflare": [
    {"zone_id": "z1", "id": "r1", "name": "home.example.com", "content": "198.51.100.4", "comment": "mine", "tags": ["t:1"]},
    {"zone_id": "z1", "id": "c1", "name": "www.example.com", "type": "CNAME", "content": "example.com"}]})
# A PATCH changes only what it sends; a PUT clears the comment and tags it leaves out.
for method, body, want in [("PATCH", '{"content":"192.0.2.1"}', (200, [], "192.0.2.1", "mine", ["t:1"])),
                           ("PATCH", '{"content":"192.0.2"}', (400, [9005], "192.0.2.1", "mine", ["t:1"])),
                           ("PATCH", '"192.0.2.3"', (400, [9207], "192.0.2.1", "mine", ["t:1"])),
                           ("PUT", '{"content":"192.0.2.2"}', (200, [], "192.0.2.2", None, []))]:
    record = cf(method, REC, body)[:2] + tuple(mock.cloudflare_record("z1", "r1")[k] for k in ("content", "comment", "tags"))
    expect(method + " " + body, record, want)
Z = "/client/v4/zones"
for path, want in [(Z + "?name=EXAMPLE.com", (200, [], ["z1"], 1)), (Z + "?name=empty%2Eexample", (200, [], ["z0"], 1)),
                   (Z + "?name=example.org", (200, [], [], 0)), (Z + "/z1/dns_records?type=A&name=HOME.example.com", (200, [], ["r1"], 1)),
                   (Z + "/z1/dns_records?type=CNAME", (200, [], ["c1"], 1)), (Z + "/z1/dns_records?per_page=1&page=2", (200, [], ["c1"], 2)),
                   (Z + "/z9/dns_records?type=A", (404, [7003], None, None)), (REC + "?x=1", (200, [], None, None))]:
    expect(path, cf("GET", path), want)
expect("log filters on the query", [len(mock.requests(query="name=HOME.example.com&type=A")), len(mock.requests(path_prefix=Z + "?"))], [1, 3])
# AAAA records: found by type and name, changed by PATCH (any IPv6 form, nothing else); GoDaddy's AAAA path.
mock.set_scene({"tokens": {"godaddy": "gd-test-token"}, "cloudflare": [{"zone_id": "z1", "id": "v1", "name": "home.example.com", "type": "AAAA", "content": "2001:db8::1"}]})
V1 = Z + "/z1/dns_records/v1"
for method, path, body, want in [("GET", Z + "/z1/dns_records?type=AAAA&name=home.example.com", None, (200, [], ["v1"], 1)),
                                 ("GET", Z + "/z1/dns_records?type=A&name=home.example.com", None, (200, [], ["r1"], 1)),
                                 ("PATCH", V1, '{"content":"2001:DB8:0:0::10"}', (200, [], None, None)),
                                 ("PATCH", V1, '{"content":"192.0.2.1"}', (400, [9005], None, None))]:
    expect(method + " AAAA " + (body or path), cf(method, path, body), want)
expect("AAAA content kept as sent", mock.cloudflare_record("z1", "v1")["content"], "2001:DB8:0:0::10")
for path, body, want in [("/v1/domains/example.net/records/AAAA/@", '[{"data":"2001:db8::10","ttl":600}]', 200),
                         ("/v1/domains/example.net/records/AAAA/@", '[{"data":"192.0.2.1","ttl":600}]', 422),
                         ("/v1/domains/example.net/records/MX/@", '[{"data":"2001:db8::10","ttl":600}]', 404)]:
    expect("GoDaddy PUT " + path + " " + body, call(GD, path, "Bearer gd-test-token", "PUT", body)[0], want)
expect("GoDaddy zone keeps A beside AAAA", sorted((r["type"], r["data"]) for r in json.loads(call(GD, ZONE, "Bearer gd-test-token")[1])),
       [("A", "198.51.100.4"), ("AAAA", "2001:db8::10")])
mock.set_scene({"public_ip_by_host": {CK: "192.0.2.9"}})
expect("two address services", [call(IP), call(CK)], [(200, b"203.0.113.7"), (200, b"192.0.2.9\n")])


def answer(host=IP):
    """A GET of an address service: (status, body or, when large, its size), or the error and any partial body."""
    try:
        status, body = call(host)
        return status, body if len(body) < 4096 else len(body)
    except (http.client.HTTPException, OSError) as e:
        return type(e).__name__, getattr(e, "partial", None)


# Each fault mode, on its host only ("times" is hangs_and_stops.sh's, which fails when a rule fires more often).
for host, (rule, want) in itertools.product((IP, CK), [
        (dict(mode="high_bytes"), (200, bytes(range(0x80, 0x100)))), (dict(mode="empty", status=204), (204, b"")),
        (dict(mode="huge", size_mb=1.5), (200, 1536 * 1024)), (dict(mode="cut", body="203.0.113.", announce=12), ("IncompleteRead", b"203.0.113.")),
        (dict(mode="close"), ("RemoteDisconnected", None)), (dict(mode="bad_cert"), ("SSLCertVerificationError", None))]):
    mock.clear_rules()
    mock.add_rule(host=host, **rule)
    expect(host + " " + rule["mode"], answer(host), want)
    expect(rule["mode"] + " spares other hosts", call(CF, REC, "Bearer cf-test-token")[0], 200)
mock.clear_rules()
mock.add_rule(host=IP, delay=0.5)
start = time.monotonic()
expect("delay", (answer()[0], time.monotonic() - start >= 0.5), (200, True))
mock.clear_rules()


def reuse(conn):
    try:
        conn.request("GET", "/")
        return conn.getresponse().read() != b""
    except (http.client.HTTPException, OSError):
        return False


# A route away from the mock also ends the connections a client keeps open to that host.
kept = http.client.HTTPSConnection(CK, 443, context=trusted, timeout=10)
for route, want in [("mock", (200, 200, True)), ("closed", ("ConnectionRefusedError", 200, False)), ("mock", (200, 200, True))]:
    subprocess.run([sys.executable, os.environ["MOCK_CTL"], "route", CK, route], check=True)
    expect("route " + route, (answer(CK)[0], answer(IP)[0], reuse(kept)), want)

if failures:
    print("mock check failed:\n  " + "\n  ".join(failures))
    sys.exit(1)
print("mock check: authorization, PATCH and PUT, searches, both address services, fault modes and routes behave")
