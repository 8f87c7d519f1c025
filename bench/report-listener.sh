#!/usr/bin/env bash
# The delivery report listener under attack by another local user: while
# mirapost-send waits for a report, one client streams a 200 MB request line
# and another holds 1,060 connections; then the real report comes. Prints
# mirapost-send's memory before and at its peak, the connections it kept,
# the report's round trip (how long the listener's thread kept it waiting)
# and the outcome.
#   bench/report-listener.sh [BUILD-DIR]
set -uo pipefail
BUILD="$(realpath "${1:-build}")"
SEND="$BUILD/src/mirapost-send"
T="$(mktemp -d "${TMPDIR:-/tmp}/mirapost-bench.XXXXXX")"
PIDS=()
stop() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done; sleep 0.3; rm -rf "$T"; }
trap stop EXIT
export XDG_CONFIG_HOME="$T/config" XDG_DATA_HOME="$T/data" MIRAPOST_TESTING=1
ulimit -n 4096
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
KANNEL=$(free_port)
# A sendsms that accepts and keeps the dlr-url for the attack.
python3 -c "
import http.server, urllib.parse
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        q = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)
        open('$T/dlr-url', 'w').write(q['dlr-url'][0])
        self.send_response(202); self.end_headers(); self.wfile.write(b'0: Accepted for delivery')
    def log_message(self, *a): pass
http.server.HTTPServer(('127.0.0.1', $KANNEL), H).serve_forever()" &
PIDS+=($!)
sleep 0.5
"$SEND" --via "kannel:http://127.0.0.1:$KANNEL/cgi-bin/sendsms" --wait 120 --to +12345 text hi > /dev/null 2> "$T/err" &
SENDER=$!
PIDS+=($SENDER)
for _ in $(seq 50); do [ -s "$T/dlr-url" ] && break; sleep 0.1; done
rss() { awk '/^'"$1"':/ {print $2}' "/proc/$SENDER/status"; }
echo "mirapost-send before: $(rss VmRSS) kB"
python3 - "$(cat "$T/dlr-url")" "$SENDER" <<'PY'
import socket, sys, time, urllib.parse
url = urllib.parse.urlparse(sys.argv[1])
host, port = url.hostname, url.port
def fds():
    import os
    return len(os.listdir('/proc/%s/fd' % sys.argv[2]))
# 200 MB of request line, as fast as the listener takes it.
s = socket.create_connection((host, port))
chunk = b'a' * (1 << 20)
sent = 0
try:
    s.sendall(b'GET /dlr/')
    while sent < 200 << 20:
        s.sendall(chunk); sent += len(chunk)
except OSError as e:
    print('200 MB request line: closed by the listener after %d bytes (%s)' % (sent, e.__class__.__name__))
else:
    print('200 MB request line: all %d bytes taken' % sent)
# Meanwhile a probe asks the listener every 10 ms (a report for no one):
# its slowest answer is the longest the listener's thread was kept busy.
import threading
worst = [0.0, 0]
stop = threading.Event()
def probe():
    while not stop.is_set():
        start = time.monotonic()
        try:
            p = socket.create_connection((host, port), timeout=5)
            p.sendall(b'GET /dlr/nobody?type=8 HTTP/1.1\r\nHost: x\r\n\r\n')
            if p.recv(4096): worst[1] += 1
            p.close()
        except OSError:
            pass
        worst[0] = max(worst[0], time.monotonic() - start)
        time.sleep(0.01)
prober = threading.Thread(target=probe); prober.start()
# 1,060 held connections.
held = []
for i in range(1060):
    try:
        c = socket.create_connection((host, port)); c.sendall(b'GET /dlr/'); held.append(c)
    except OSError as e:
        print('connection %d: %s' % (i, e)); break
time.sleep(0.5)
stop.set(); prober.join()
print('probe: %d answered, the slowest in %.1f ms' % (worst[1], worst[0] * 1000))
print('held by the attacker: %d; open descriptors in mirapost-send: %d' % (len(held), fds()))
status = open('/proc/%s/status' % sys.argv[2]).read()
mem = dict(l.split(':', 1) for l in status.splitlines() if l.startswith(('VmRSS', 'VmHWM')))
print('mirapost-send under attack: %s now, %s at its peak' % (mem['VmRSS'].strip(), mem['VmHWM'].strip()))
# The real report, timed from its connection to the answer.
path = url.path + '?' + url.query.replace('%d', '8').replace('%A', 'ACK')
start = time.monotonic()
r = socket.create_connection((host, port))
r.sendall(('GET %s HTTP/1.1\r\nHost: x\r\n\r\n' % path).encode())
answer = r.recv(4096)
print('the report: %s in %.1f ms' % (answer.split(b'\r\n')[0].decode(), (time.monotonic() - start) * 1000))
PY
START=$(date +%s.%N); wait "$SENDER"; rc=$?; echo "mirapost-send ended $(echo "$(date +%s.%N) - $START" | bc) s after the report"
echo "mirapost-send: exit $rc: $(tail -n 1 "$T/err")"
