#!/usr/bin/env bash
# Load run: Orvex on a private X display, refreshed every second for a while against real
# servers on 127.0.0.1 (FTP, echo page, SMTP on port 25), watching twenty open windows.
# Prints the program's memory and open descriptors over time and checks the event log: every
# cycle logged, no two cycles overlapping.
#
#   tools/load/run-load.sh [seconds]      (default 600; needs the build in build/)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-600}"
python=/usr/bin/python3
work="$(mktemp -d /tmp/orvex-load-XXXXXX)"
mkdir -p "$work/site" "$work/mail" "$work/run"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

Xvfb :91 -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 & pids+=($!)
sleep 1
export DISPLAY=:91
openbox --sm-disable >/dev/null 2>&1 & pids+=($!)
$python tools/demo/demo_servers.py --root "$work/site" --ftp-port 2131 --echo-port 8431 \
    >/dev/null 2>&1 & pids+=($!)
$python tests/peers/smtp_server.py "$work/mail" --port 25 --raw-only >/dev/null 2>&1 & pids+=($!)
for i in $(seq -w 0 19); do
    xmessage -title "Load Window $i" "window $i" >/dev/null 2>&1 & pids+=($!)
done
sleep 2

build/orvex-demo-settings "$work" 2131 8431 >/dev/null
cp -r samples "$work/samples"
ini="$work/Orvex.ini"
{
    echo "[Programs]"
    for i in $(seq -w 0 19); do echo "Program$((10#$i))=Load Window $i"; done
} >> "$ini"
sed -i 's/^RefreshIntv=.*/RefreshIntv=1/; s/^IsUpdateOnShut=.*/IsUpdateOnShut=0/' "$ini"
# Mail on every cycle.
$python - "$ini" <<'PY'
import sys
path = sys.argv[1]
text = open(path, encoding="latin-1", newline="").read()
extra = ("EnableMail=1\r\nEmailServer=127.0.0.1\r\nEmailFrom=load@orvex.test\r\n"
         "EmailTo=watcher@orvex.test\r\nEmailInput=.\\samples\\email.htm\r\nSuppressError=1\r\n")
text = text.replace("[Preferences]\r\n", "[Preferences]\r\n" + extra, 1)
open(path, "w", encoding="latin-1", newline="").write(text)
PY

(cd "$work" && XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb "$OLDPWD/build/orvex" \
    >"$work/orvex.out" 2>&1) & pids+=($!)
sleep 3
pid="$(pgrep -n -f "$PWD/build/orvex" || pgrep -n -x orvex)"
window="$(xdotool search --onlyvisible --name '^Orvex$' | head -1)"

sample() { # seconds-elapsed rss-kB fds
    echo "$1 $(awk '/VmRSS/ {print $2}' /proc/"$pid"/status) $(ls /proc/"$pid"/fd | wc -l)"
}
echo "elapsed_s rss_kB fds"
sample 0
start=$(date +%s)
presses=0
next_sample=60
while [ $(( $(date +%s) - start )) -lt "$seconds" ]; do
    # The sheet's "&Refresh" button, pressed as a user would.
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    xdotool key alt+r >/dev/null 2>&1 || true
    presses=$((presses + 1))
    sleep 1
    elapsed=$(( $(date +%s) - start ))
    if [ "$elapsed" -ge "$next_sample" ]; then
        sample "$elapsed"
        next_sample=$((next_sample + 60))
    fi
done
sleep 5
sample "$(( $(date +%s) - start ))"

log="$work/Orvex.log"
$python - "$log" "$presses" "$work/mail" <<'PY'
import os, sys
lines = open(sys.argv[1], encoding="latin-1", newline="").read().split("\r\n")
starts = [i for i, l in enumerate(lines) if l.endswith("Requesting WAN IP address...")]
ends = [i for i, l in enumerate(lines) if "System Online:" in l]
overlaps = sum(1 for a, b in zip(starts, starts[1:])
               if not any(a < e < b for e in ends))
mails = len([f for f in os.listdir(sys.argv[3]) if f.endswith(".eml")])
print(f"refresh presses: {sys.argv[2]}, cycles started: {len(starts)}, "
      f"cycles ended online: {len(ends)}, overlapping starts: {overlaps}, mails received: {mails}")
PY
echo "work folder: $work"
