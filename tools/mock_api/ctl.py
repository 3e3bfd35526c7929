#!/usr/bin/env python3
"""Command line for the mock's control API, for shell scripts.

  ctl.py wait                          wait until the mock answers
  ctl.py reset                         defaults: no records, no rules, empty log
  ctl.py scene JSON|@FILE              merge a scene (records, public_ip, tokens)
  ctl.py ip ADDRESS [HOST]             set the address the echo services return
                                       (with HOST: that service only; ADDRESS
                                       "-" drops HOST's own address)
  ctl.py rule KEY=VALUE...             add a fault rule (host= path= method=
                                       path_prefix= query= status= body=
                                       body_hex= mode= delay=
                                       size_mb= times= announce= content_type=
                                       location= part= interval= hold=)
  ctl.py clear-rules
  ctl.py state                         the whole state as JSON
  ctl.py cf ZONE ID [FIELD]            one Cloudflare record (or one field:
                                       text and numbers bare, booleans as
                                       True/False, null, lists as JSON)
  ctl.py gd DOMAIN                     one GoDaddy zone as JSON
  ctl.py log [host=H] [method=M] [path=P] [path_prefix=P] [query=Q]
                                       recorded requests as JSON (path and
                                       path_prefix see the query string as
                                       sent; query=type=A&name=x.example.com
                                       wants those parameters, decoded)
  ctl.py count [host=H] [method=M] [path=P] [path_prefix=P] [query=Q]
                                       number of recorded requests
  ctl.py tls [certificate=untrusted|trusted] [sni=HOST]
                                       number of TLS handshakes so recorded
  ctl.py clear-log
  ctl.py route HOST closed|mock|ADDRESS
                                       inside run-isolated.sh: point HOST at
                                       the closed address (connections are
                                       refused) or back at the mock; away
                                       from the mock, the mock also ends its
                                       open connections for HOST, which a
                                       client's pool would keep using
  ctl.py drop [HOST]                   end the mock's open connections (for
                                       HOST only, by SNI)

Exit status 0 on success, 1 when a looked-up record does not exist, 2 on
usage or connection errors. The control URL comes from $MOCK_CONTROL.
"""

import ipaddress
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from client import MockClient, MockError  # noqa: E402

INT_KEYS = {"status", "times", "announce"}
FLOAT_KEYS = {"delay", "size_mb", "interval", "hold"}
# The mock's listener, and the address where nothing listens (run-isolated.sh).
ROUTES = {"mock": "127.0.0.1", "closed": "127.0.0.2"}


def pairs(args):
    out = {}
    for a in args:
        if "=" not in a:
            raise ValueError("expected KEY=VALUE, got %r" % a)
        k, v = a.split("=", 1)
        out[k] = int(v) if k in INT_KEYS else float(v) if k in FLOAT_KEYS else v
    return out


def load_json(text):
    if text.startswith("@"):
        with open(text[1:]) as f:
            return json.load(f)
    return json.loads(text)


def route(host, target):
    """Points `host` at another address by rewriting the sandbox's hosts file
    in place: /etc/hosts is a bind mount of that very file, and a new file
    (sed -i, a rename) would leave the mount showing the old one. The host's
    line (one name a line, as run-isolated.sh writes them) keeps its place,
    and the two named addresses differ in one byte: a lookup during the
    switch reads either the old or the new address, never a torn file."""
    path = os.environ.get("SANDBOX_HOSTS")
    if not path:
        raise ValueError("route works only inside run-isolated.sh ($SANDBOX_HOSTS is unset)")
    address = str(ipaddress.IPv4Address(ROUTES.get(target, target)))
    line_of_host = address + " " + host.lower()
    with open(path, "r+") as f:
        lines = f.read().splitlines()
        named = [host.lower() in line.lower().split()[1:] for line in lines]
        lines = [line_of_host if n else line for line, n in zip(lines, named)]
        f.seek(0)
        f.write("\n".join(lines + ([] if any(named) else [line_of_host])) + "\n")
        f.truncate()


def field_text(value):
    # Booleans stay True/False, as the scripts compare them so.
    return str(value) if isinstance(value, (str, int, float)) else json.dumps(value)


def run(argv):
    if not argv or argv[0] in ("-h", "--help"):
        print(__doc__)
        return 0 if argv else 2
    mock = MockClient()
    cmd, rest = argv[0], argv[1:]
    out = None
    if cmd == "wait":
        mock.wait_ready()
    elif cmd == "reset":
        mock.reset()
    elif cmd == "scene" and len(rest) == 1:
        mock.set_scene(load_json(rest[0]))
    elif cmd == "ip" and len(rest) == 1:
        mock.set_scene({"public_ip": rest[0]})
    elif cmd == "ip" and len(rest) == 2:
        address = None if rest[0] == "-" else rest[0]
        mock.set_scene({"public_ip_by_host": {rest[1]: address}})
    elif cmd == "rule":
        mock.add_rule(**pairs(rest))
    elif cmd == "clear-rules":
        mock.clear_rules()
    elif cmd == "state":
        out = json.dumps(mock.state(), indent=1)
    elif cmd == "cf" and len(rest) in (2, 3):
        rec = mock.cloudflare_record(rest[0], rest[1])
        if rec is None:
            return 1
        out = json.dumps(rec) if len(rest) == 2 else field_text(rec.get(rest[2]))
    elif cmd == "gd" and len(rest) == 1:
        zone = mock.godaddy_zone(rest[0])
        if zone is None:
            return 1
        out = json.dumps(zone)
    elif cmd in ("log", "count"):
        found = mock.requests(**pairs(rest))
        out = json.dumps(found, indent=1) if cmd == "log" else str(len(found))
    elif cmd == "tls":
        want = pairs(rest)
        out = str(sum(1 for e in mock.log() if e["kind"] == "tls" and
                      all(e.get(k) == v for k, v in want.items())))
    elif cmd == "clear-log":
        mock.clear_log()
    elif cmd == "route" and len(rest) == 2:
        route(*rest)
        if rest[1] != "mock":
            mock.drop_connections(rest[0].lower())
    elif cmd == "drop" and len(rest) <= 1:
        mock.drop_connections(*rest)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    if out is not None:
        print(out)
    return 0


def main():
    try:
        return run(sys.argv[1:])
    except (MockError, OSError, ValueError, TypeError) as e:
        print("ctl: %s" % e, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
