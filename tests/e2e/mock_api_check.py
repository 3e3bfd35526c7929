"""Checks the API mock where a fault of its own would hide one of the program's (run by mock_api.sh inside the
isolated runner): the Authorization schemes it accepts for each credential, and the fault modes the scenarios use
to break exchanges. What it serves and logs is checked by the scenarios that use it."""

import http.client
import os
import ssl
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mock_api"))
from client import MockClient  # noqa: E402

mock, trusted = MockClient(), ssl.create_default_context(cafile=os.environ["MOCK_DIR"] + "/ca.pem")
CF, GD, IP = "api.cloudflare.com", "api.godaddy.com", "api.ipify.org"
REC, ZONE = "/client/v4/zones/z1/dns_records/r1", "/v3/domains/zones/example.net/dns-records"
failures = []


def call(host, path="/", auth=None):
    conn = http.client.HTTPSConnection(host, 443, context=trusted, timeout=10)
    try:
        conn.request("GET", path, headers={"Authorization": auth} if auth else {})
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



def answer():
    """A GET of the address service: (status, body or, when large, its size), or the error and any partial body."""
    try:
        status, body = call(IP)
        return status, body if len(body) < 4096 else len(body)
    except (http.client.HTTPException, OSError) as e:
        return type(e).__name__, getattr(e, "partial", None)


# Each fault mode, on its host only ("times" is hangs_and_stops.sh's, which fails when a rule fires more often).
for rule, want in [(dict(mode="high_bytes"), (200, bytes(range(0x80, 0x100)))), (dict(mode="empty", status=204), (204, b"")),
                   (dict(mode="huge", size_mb=1.5), (200, 1536 * 1024)), (dict(mode="cut", body="203.0.113.", announce=12), ("IncompleteRead", b"203.0.113.")),
                   (dict(mode="close"), ("RemoteDisconnected", None)), (dict(mode="bad_cert"), ("SSLCertVerificationError", None))]:
    mock.clear_rules()
    mock.add_rule(host=IP, **rule)
    expect(rule["mode"], answer(), want)
    expect(rule["mode"] + " spares other hosts", call(CF, REC, "Bearer cf-test-token")[0], 200)
mock.clear_rules()
mock.add_rule(host=IP, delay=0.5)
start = time.monotonic()
expect("delay", (answer()[0], time.monotonic() - start >= 0.5), (200, True))

if failures:
    print("mock check failed:\n  " + "\n  ".join(failures))
    sys.exit(1)
print("mock check: authorization schemes and fault modes behave")
