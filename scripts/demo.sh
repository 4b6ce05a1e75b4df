#!/bin/sh
# One command that shows the tool at work: builds it against a local HTTPS
# update server (nginx with a private CA compiled into the tool), publishes
# version 1.1.0 of an application named Demo, and runs "updater Demo 1.0.0 0 0".
# With a display you click through it; without one it runs under Xvfb, drives
# the patch road by keyboard and takes a screenshot at every step.
#
#   scripts/demo.sh                 interactive when $DISPLAY is set, else headless
#   scripts/demo.sh --headless      always headless
#   scripts/demo.sh --update-docs   headless, and copy the screenshots to docs/screenshots
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"

mode=auto
docs=0
for arg in "$@"; do
    case "$arg" in
        --headless) mode=headless ;;
        --update-docs) mode=headless; docs=1 ;;
        *) echo "usage: $0 [--headless|--update-docs]" >&2; exit 2 ;;
    esac
done
[ "$mode" = auto ] && { [ -n "${DISPLAY:-}" ] && mode=interactive || mode=headless; }

ensure_packages $BUILD_PACKAGES $TEST_PACKAGES
[ "$mode" = headless ] && ensure_packages $HEADLESS_PACKAGES

port=${DEMO_PORT:-8443}
work="$root/build-demo"
ca="$work/ca"
www="$work/server/www"
app="$work/app"
shots="$work/screenshots"
mkdir -p "$ca" "$www" "$work/server/temp" "$app" "$shots"

# 1. The demo's certificate authority and the server's certificate. Kept between
#    runs: the authority is compiled into this build of the tool.
if [ ! -f "$ca/ca.pem" ]; then
    echo "== Creating the demo certificate authority"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -sha256 -subj "/CN=Updater demo CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$ca/ca.key" -out "$ca/ca.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$ca/server.key" -out "$ca/server.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$ca/server.ext"
    openssl x509 -req -in "$ca/server.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" -CAcreateserial -days 3650 \
        -sha256 -extfile "$ca/server.ext" -out "$ca/server.pem" 2>/dev/null
fi

# 2. The tool, pointed at the local server and trusting the demo authority.
echo "== Building the updater for https://127.0.0.1:$port"
cmake -S "$root" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DUPDATER_SERVER_HOST="127.0.0.1:$port" -DUPDATER_CA_CERTIFICATES="$ca/ca.pem" >/dev/null
cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)"

# 3. The installed application: version 1.0.0 of Demo, with the updater beside it.
rm -rf "$app" && mkdir -p "$app"
cp "$work/build/bin/updater" "$app/updater"
cat > "$app/Demo" <<'PROGRAM'
#!/bin/sh
echo "Demo 1.0.0 is running"
PROGRAM
chmod +x "$app/Demo"
rm -f "$work/demo-ran.txt"

# 4. The update server's files, published with updater-publish: a patch that
#    brings Demo to 1.1.0, a full installer, a release note, and the manifest
#    with their sizes and SHA-256.
echo "== Publishing Demo 1.1.0 on the demo server"
base="https://127.0.0.1:$port/Vornek/deploy/raw/branch/master/"
served="$www/Vornek/deploy/raw/branch/master"
rm -rf "$www" && mkdir -p "$served"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/patch/assets"
cat > "$stage/patch/Demo" <<PROGRAM
#!/bin/sh
echo "Demo 1.1.0 is running (updated by the updater)"
echo "Demo 1.1.0 ran at \$(date)" > "$work/demo-ran.txt"
PROGRAM
chmod +x "$stage/patch/Demo"
printf 'Demo 1.1.0\n\n- Starts twice as fast\n- Fixes the crash on exit\n' > "$stage/patch/RELEASE-NOTES.txt"
head -c 3000000 /dev/urandom > "$stage/patch/assets/data.bin" # large enough to watch it download
cat > "$stage/installer" <<PROGRAM
#!/bin/sh
echo "Demo 1.1.0 installer: installing into $app"
cp "$stage/patch/Demo" "$app/Demo" 2>/dev/null || true
PROGRAM
chmod +x "$stage/installer"
"$work/build/bin/updater-publish" --name Demo --patch-version 1.1.0 --full-version 1.1.0 \
    --modify-time 1765180800 --modify-count 1 \
    --changelog "Starts twice as fast; fixes the crash on exit" \
    --patch-url "$base" --full-url "$base" --installer "$stage/installer" --patch-dir "$stage/patch" \
    --output "$served" --client-version 1.0.0 | sed 's/^/   /'
cp "$stage/patch/RELEASE-NOTES.txt" "$served/Demo/RELEASE-NOTES.txt"

# 5. nginx, stopped again when this script ends.
s="$work/server"
cat > "$s/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $s/nginx.pid;
error_log $s/error.log info;
events { worker_connections 64; }
http {
    access_log $s/access.log;
    client_body_temp_path $s/temp/body;
    proxy_temp_path $s/temp/proxy;
    fastcgi_temp_path $s/temp/fastcgi;
    uwsgi_temp_path $s/temp/uwsgi;
    scgi_temp_path $s/temp/scgi;
    types { application/json json; application/zip zip; text/plain txt; }
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$port ssl;
        ssl_certificate $ca/server.pem;
        ssl_certificate_key $ca/server.key;
        root $www;
        # Slow enough to watch the progress display.
        location /Vornek/deploy/raw/branch/master/Demo/ { limit_rate 1m; }
    }
}
CONF
echo "== Starting nginx on https://127.0.0.1:$port"
timeout 3600 nginx -p "$s" -e "$s/error.log" -c "$s/nginx.conf" &
nginx_pid=$!
xvfb_pid=""
cleanup() {
    kill "$nginx_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$stage"
}
trap cleanup EXIT INT TERM
for i in $(seq 50); do
    (echo > /dev/tcp/127.0.0.1/$port) 2>/dev/null && break
    kill -0 "$nginx_pid" 2>/dev/null || { echo "nginx did not start:"; cat "$s/error.log"; exit 1; }
    sleep 0.1
done 2>/dev/null || true

if [ "$mode" = interactive ]; then
    echo "== Running: updater Demo 1.0.0 0 0   (click check, then update-patch)"
    "$app/updater" Demo 1.0.0 0 0
    [ -f "$work/demo-ran.txt" ] && cat "$work/demo-ran.txt"
    exit 0
fi

# Headless: Xvfb, the keyboard, and a screenshot at each step.
display=":$((90 + $$ % 100))"
Xvfb "$display" -screen 0 1400x1400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The dialog's part of the screen, question box included when one is open.
shot() {
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shots/$1.png"
    echo "   screenshot: $shots/$1.png"
}

echo "== Running headless: updater Demo 1.0.0 0 0"
LANGUAGE=en "$app/updater" Demo 1.0.0 0 0 &
updater_pid=$!
wid=$(xdotool search --sync --name '^Updater$' | head -n 1)
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1
shot 1-started

echo "-- check"
xdotool key Tab Tab space   # application name -> version -> check
sleep 2
shot 2-update-report

echo "-- update-patch"
xdotool key Tab Tab space   # check -> cancel -> update-patch
sleep 1.5
shot 3-downloading

echo "-- waiting for the question"
xdotool search --sync --name '^update$' >/dev/null
sleep 0.5
shot 4-start-update
xdotool key y

for i in $(seq 100); do kill -0 "$updater_pid" 2>/dev/null || break; sleep 0.1; done
wait "$updater_pid" 2>/dev/null || true
for i in $(seq 50); do [ -f "$work/demo-ran.txt" ] && break; sleep 0.1; done

# The report once more in German, and at 200 % (as a Windows display scaled to 200 % shows it).
report_shot() { # name environment...
    name=$1
    shift
    env "$@" "$app/updater" Demo 1.0.0 0 0 &
    pid=$!
    wid=$(xdotool search --sync --name '^Updater$' | head -n 1)
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 1
    xdotool key Tab Tab space
    sleep 2
    shot "$name"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
echo "-- the report in German"
report_shot 5-report-german LANGUAGE=de
echo "-- the report at 200 %"
report_shot 6-report-200-percent QT_SCALE_FACTOR=2

if [ "$docs" = 1 ]; then
    mkdir -p "$root/docs/screenshots"
    cp "$shots"/*.png "$root/docs/screenshots/"
    echo "== Screenshots copied to docs/screenshots"
fi

if [ -f "$work/demo-ran.txt" ] && grep -q "Demo 1.1.0" "$app/Demo"; then
    echo "== Done: the patch was installed and the new Demo program ran:"
    echo "   $(cat "$work/demo-ran.txt")"
    echo "   Installed files: $(cd "$app" && ls | tr '\n' ' ')"
else
    echo "== The demo did not complete: the new Demo program did not run." >&2
    exit 1
fi
