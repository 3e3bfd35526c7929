"""Scene and request-log checks for tests/e2e/providers.sh.

    providers_mock.py scene FILE   write the scene (GoDaddy's credential a
                                   KEY:SECRET pair)
    providers_mock.py verify       check what reached the mock and what it holds
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.environ.get("MOCK_CTL", "")))

NEW_IP = "203.0.113.7"
CF_PATH = "/client/v4/zones/zone1/dns_records/rec1"
GD_PUT_PATH = "/v1/domains/example.net/records/A/www"
GD_KEY_PAIR = "gd-key:gd-secret"


def scene(path):
    data = {
        "public_ip": NEW_IP,
        "tokens": {"godaddy": GD_KEY_PAIR},
        "cloudflare": [{"zone_id": "zone1", "zone_name": "example.com", "id": "rec1",
                        "name": "home.example.com", "content": "198.51.100.4", "ttl": 1, "proxied": True}],
        "godaddy": {"example.net": [{"type": "A", "name": "@", "data": "192.0.2.1", "ttl": 600},
                                    {"type": "A", "name": "www", "data": "198.51.100.4", "ttl": 600}]},
    }
    with open(path, "w") as f:
        json.dump(data, f)


def verify():
    from client import MockClient, header
    mock = MockClient()
    reqs = [e for e in mock.log() if e["kind"] == "request"]
    problems = []

    def check(ok, what):
        if not ok:
            problems.append(what)

    def only(method, host, path, auth):
        found = [r for r in reqs if r["method"] == method and r["host"] == host and
                 r["path"] == path and header(r, "Authorization") == auth]
        check(len(found) == 1, "%s %s%s with %s: %d requests" % (method, host, path, auth, len(found)))
        return found[0] if found else None

    for r in reqs:
        check(header(r, "User-Agent") == "nimbard/1.0", "user agent of %s" % r["path"])

    ip = [r for r in reqs if r["host"] == "api.ipify.org"]
    check(len(ip) == 1 and ip[0]["method"] == "GET" and ip[0]["path"] == "/" and
          header(ip[0], "Authorization") is None and ip[0]["body"] == "",
          "address lookup requests: %r" % ip)

    put = only("PUT", "api.cloudflare.com", CF_PATH, "Bearer cf-test-token")
    if put:
        check(header(put, "Content-Type") == "application/json", "Cloudflare PUT content type")
        want = ('{"name":"home.example.com","ttl":300,"type":"A","content":"%s",'
                '"private_routing":false,"proxied":false}' % NEW_IP)
        check(put["body"] == want, "Cloudflare PUT body %r" % put["body"])
    cf_gets = [r for r in reqs if r["method"] == "GET" and r["path"] == CF_PATH and
               header(r, "Authorization") == "Bearer cf-test-token"]
    check(len(cf_gets) == 2, "Cloudflare GETs: %d" % len(cf_gets))
    for r in cf_gets:
        check(r["body"] == "" and header(r, "Content-Type") is None, "Cloudflare GET shape %r" % r)

    put = only("PUT", "api.godaddy.com", GD_PUT_PATH, "sso-key " + GD_KEY_PAIR)
    if put:
        check(header(put, "Content-Type") == "application/json", "GoDaddy PUT content type")
        check(put["body"] == '[{"data":"%s","ttl":600}]' % NEW_IP, "GoDaddy PUT body %r" % put["body"])
    check(not [r for r in reqs if r["method"] == "PUT" and r["path"].endswith("/A/@")],
          "a GoDaddy PUT addressed the apex")

    rec = mock.cloudflare_record("zone1", "rec1")
    check(rec["content"] == NEW_IP and rec["ttl"] == 300 and rec["proxied"] is False,
          "Cloudflare record after the update: %r" % rec)
    zone = {(r["type"], r["name"]): r["data"] for r in mock.godaddy_zone("example.net")}
    check(zone == {("A", "@"): "192.0.2.1", ("A", "www"): NEW_IP},
          "GoDaddy zone after the update: %r" % zone)

    if problems:
        print("providers mock check failed:\n  " + "\n  ".join(problems))
        return 1
    print("providers mock check: %d requests as expected" % len(reqs))
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "scene":
        scene(sys.argv[2])
        sys.exit(0)
    if len(sys.argv) == 2 and sys.argv[1] == "verify":
        sys.exit(verify())
    print(__doc__, file=sys.stderr)
    sys.exit(2)
