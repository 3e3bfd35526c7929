"""Scene and request-log checks for tests/e2e/providers.sh.

    providers_mock.py scene FILE   write the scene (GoDaddy's credential a KEY:SECRET pair)
    providers_mock.py verify       check what reached the mock and what it holds
"""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.environ.get("MOCK_CTL", "")))
NEW_IP, NEW_IPV6, PAIR = "203.0.113.7", "2001:db8::10", "gd-key:gd-secret"
CF_PATH = "/client/v4/zones/zone1/dns_records/rec1"
CF_V6_SEARCH, CF_V6_PATH = "/client/v4/zones/zone1/dns_records?type=AAAA&name=home.example.com", "/client/v4/zones/zone1/dns_records/v6rec"
GD_ZONE, GD_PUT = "/v3/domains/zones/example.net/dns-records", "/v1/domains/example.net/records/A/www"
GD_PUT_V6 = "/v1/domains/example.net/records/AAAA/www"


def verify():
    from client import MockClient, header
    mock = MockClient()
    reqs = [e for e in mock.log() if e["kind"] == "request"]
    # Every request as (method, host, path, Authorization, Content-Type, body), in order: Cloudflare's token
    # as Bearer, GoDaddy's KEY:SECRET pair as sso-key, the address lookup bare.
    cf, gd, json_type = "Bearer cf-test-token", "sso-key " + PAIR, "application/json"
    cf_patch = '{"content":"%s"}' % NEW_IP  # the address alone: the record's TTL and proxy status stay
    want = [("GET", "api.ipify.org", "/", None, None, ""),
            ("GET", "api.cloudflare.com", CF_PATH, cf, None, ""), ("PATCH", "api.cloudflare.com", CF_PATH, cf, json_type, cf_patch),
            ("GET", "api.cloudflare.com", CF_PATH, cf, None, ""),
            # The AAAA record: searched by type and name (the Record ID is the A record's), then asked by the ID found.
            ("GET", "api.cloudflare.com", CF_V6_SEARCH, cf, None, ""),
            ("PATCH", "api.cloudflare.com", CF_V6_PATH, cf, json_type, '{"content":"%s"}' % NEW_IPV6),
            ("GET", "api.cloudflare.com", CF_V6_PATH, cf, None, ""),
            ("GET", "api.godaddy.com", GD_ZONE, gd, None, ""), ("PUT", "api.godaddy.com", GD_PUT, gd, json_type, '[{"data":"%s","ttl":600}]' % NEW_IP),
            ("GET", "api.godaddy.com", GD_ZONE, gd, None, ""),
            # GoDaddy's AAAA entry keeps the TTL it had.
            ("GET", "api.godaddy.com", GD_ZONE, gd, None, ""), ("PUT", "api.godaddy.com", GD_PUT_V6, gd, json_type, '[{"data":"%s","ttl":1800}]' % NEW_IPV6),
            ("GET", "api.godaddy.com", GD_ZONE, gd, None, "")]
    got = [(r["method"], r["host"], r["path"], header(r, "Authorization"), header(r, "Content-Type"), r["body"]) for r in reqs]
    problems = ["request %d: %r, want %r" % (i, g, w) for i, (g, w) in enumerate(zip(got, want)) if g != w]
    problems += ["%d requests, want %d" % (len(got), len(want))] if len(got) != len(want) else []
    problems += ["user agent of %s" % r["path"] for r in reqs if header(r, "User-Agent") != "nimbard/1.0"]
    rec = mock.cloudflare_record("zone1", "rec1")
    if (rec["content"], rec["ttl"], rec["proxied"]) != (NEW_IP, 1, True):
        problems.append("Cloudflare record after the update: %r" % rec)
    v6 = mock.cloudflare_record("zone1", "v6rec")
    if (v6["type"], v6["content"]) != ("AAAA", NEW_IPV6):
        problems.append("Cloudflare AAAA record after the update: %r" % v6)
    zone = {(r["type"], r["name"]): r["data"] for r in mock.godaddy_zone("example.net")}
    if zone != {("A", "@"): "192.0.2.1", ("A", "www"): NEW_IP, ("AAAA", "www"): NEW_IPV6}:  # the apex untouched
        problems.append("GoDaddy zone after the update: %r" % zone)
    print("providers mock check failed:\n  " + "\n  ".join(problems) if problems else "providers mock check: %d requests as expected" % len(reqs))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "scene":
        with open(sys.argv[2], "w") as f:
            json.dump({"public_ip": NEW_IP, "tokens": {"godaddy": PAIR},
                       "cloudflare": [{"zone_id": "zone1", "zone_name": "example.com", "id": "rec1", "name": "home.example.com",
                                       "content": "198.51.100.4", "ttl": 1, "proxied": True},
                                      {"zone_id": "zone1", "id": "v6rec", "name": "home.example.com", "type": "AAAA",
                                       "content": "2001:db8::1", "ttl": 1, "proxied": True}],
                       "godaddy": {"example.net": [{"type": "A", "name": "@", "data": "192.0.2.1", "ttl": 600},
                                                   {"type": "A", "name": "www", "data": "198.51.100.4", "ttl": 600},
                                                   {"type": "AAAA", "name": "www", "data": "2001:db8::1", "ttl": 1800}]}}, f)
        sys.exit(0)
    if len(sys.argv) == 2 and sys.argv[1] == "verify":
        sys.exit(verify())
    print(__doc__, file=sys.stderr)
    sys.exit(2)
