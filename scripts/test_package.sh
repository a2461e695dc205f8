#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt-get, uses the
# installed programs from PATH as an ordinary user and as the superuser, and removes the
# package again (with anything its installation brought in), leaving the machine as it was.
# Runs as root; run through sudo, it builds the package as the user who called sudo, so that
# nothing in the checkout ends up owned by root.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "test_package.sh installs a package: run it as root" >&2
    exit 1
fi
if dpkg-query -W -f='${Status}' tarvu 2>/dev/null | grep -q "install ok installed"; then
    echo "a tarvu package is already installed; remove it first (apt-get remove tarvu)" >&2
    exit 1
fi

# The packaging tools, and what this script uses besides (tshark, pgrep).
scripts/deps.sh package-test

builder=()
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    # The user's own home (sudo leaves root's), so that ccache and the like write there.
    builder_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    builder=(runuser -u "$SUDO_USER" -- env -u XDG_CACHE_HOME -u XDG_CONFIG_HOME -u CCACHE_DIR
             HOME="$builder_home")
fi
deb=$("${builder[@]}" scripts/package.sh | tail -n 1)
echo "package: $deb"
# Errors fail the test; warnings are listed (docs/packaging.md says which are kept and why).
# The report lies beside the package, owned like it.
lintian_status=0
lintian --fail-on error "$deb" >"${deb%.deb}.lintian" 2>&1 || lintian_status=$?
chown --reference="$deb" "${deb%.deb}.lintian"
grep -v '^running with root privileges' "${deb%.deb}.lintian" || true
[ $lintian_status -eq 0 ] || { echo "FAIL: lintian reports errors" >&2; exit 1; }

scratch=$(mktemp -d /tmp/tarvu-package-XXXXXX)
chmod 755 "$scratch"
before=$scratch/packages-before
dpkg-query -W -f='${Package}\n' | sort >"$before"
cleanup() {
    local status=$?
    set +e
    if dpkg-query -W -f='${Status}' tarvu 2>/dev/null | grep -q "install ok installed"; then
        apt-get purge -y -qq tarvu >/dev/null 2>&1
    fi
    # Whatever the installation pulled in goes too.
    local added
    added=$(comm -13 "$before" <(dpkg-query -W -f='${Package}\n' | sort))
    if [ -n "$added" ]; then
        # shellcheck disable=SC2086
        apt-get purge -y -qq $added >/dev/null 2>&1
    fi
    [ -z "$(comm -3 "$before" <(dpkg-query -W -f='${Package}\n' | sort))" ] ||
        echo "WARNING: the installed packages differ from before the test" >&2
    rm -rf "$scratch"
    exit $status
}
trap cleanup EXIT

# apt-get reads a local package as the unprivileged _apt user when it can.
cp "$deb" "$scratch/"
chmod 644 "$scratch/$(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$scratch/$(basename "$deb")" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log" >&2; exit 1; }

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
version=$(sed -n 's/^project(tarvu VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# What the package put in place.
[ "$(command -v tarvu-cli)" = /usr/bin/tarvu-cli ] || fail "tarvu-cli is not /usr/bin/tarvu-cli on PATH"
[ "$(command -v tarvu)" = /usr/bin/tarvu ] || fail "tarvu is not /usr/bin/tarvu on PATH"
[ "$(man -w tarvu-cli)" = /usr/share/man/man1/tarvu-cli.1.gz ] || fail "man tarvu-cli finds no page"
man tarvu-cli 2>/dev/null | grep -q "EXIT STATUS" || fail "man tarvu-cli does not render"
man tarvu 2>/dev/null | grep -q "settings.ini" || fail "man tarvu does not render"
bash -c 'source /usr/share/bash-completion/bash_completion; _completion_loader tarvu-cli
         complete -p tarvu-cli' 2>/dev/null | grep -q _tarvu_cli || fail "no bash completion for tarvu-cli"
desktop=/usr/share/applications/org.tarvu.Tarvu.desktop
grep -qx 'Exec=tarvu' "$desktop" || fail "desktop entry does not start tarvu"
[ -f /usr/share/icons/hicolor/scalable/apps/org.tarvu.Tarvu.svg ] || fail "no icon"
appstreamcli validate --no-net /usr/share/metainfo/org.tarvu.Tarvu.metainfo.xml >/dev/null ||
    fail "installed metadata does not validate"
compgen -G "/usr/lib/*/wireshark/plugins/tarvu.lua" >/dev/null || fail "no Wireshark dissector"

# An ordinary user with a home of its own, then the superuser: settings go to the
# configuration folder, never beside the programs.
run_as() {
    local user=$1 home=$2
    shift 2
    if [ "$user" = root ]; then
        env -u XDG_CONFIG_HOME HOME="$home" "$@"
    else
        runuser -u "$user" -- env -u XDG_CONFIG_HOME HOME="$home" "$@"
    fi
}
check_user() {
    local user=$1 home=$scratch/home-$1
    mkdir -p "$home"
    chown "$user" "$home"
    [ "$(run_as "$user" "$home" tarvu-cli --version)" = "tarvu-cli $version" ] ||
        fail "$user: tarvu-cli --version"
    [ "$(run_as "$user" "$home" tarvu --version)" = "tarvu $version" ] || fail "$user: tarvu --version"
    [ "$(run_as "$user" "$home" tarvu-cli frame encode 30 7E)" = "7E 30 7D 3E 7F" ] ||
        fail "$user: frame encode"

    # An exchange with the echo peer over loopback.
    local out=$scratch/echo-$user.out err=$scratch/echo-$user.err port
    run_as "$user" "$home" tarvu-cli echo --listen 0 --count 1 >"$out" 2>"$err" &
    local echo_pid=$!
    for _ in $(seq 50); do
        port=$(sed -n 's/.*listening on UDP port \([0-9]*\).*/\1/p' "$err")
        [ -n "$port" ] && break
        sleep 0.1
    done
    local listen=$((20000 + RANDOM % 20000))
    local trace
    local capture=$home/capture.pcap
    trace=$(run_as "$user" "$home" tarvu-cli --to 127.0.0.1 --port "${port:-9}" --listen "$listen" \
        --send "11 01 00 30 00" --count 1 --wait 3000 --pcap "$capture")
    wait "$echo_pid" || fail "$user: echo peer"
    grep -q -- "<-- 11 01 00 30 00" <<<"$trace" || fail "$user: nothing sent: $trace"
    grep -q -- "--> 11 01 00 30 00" <<<"$trace" || fail "$user: no echo received: $trace"
    [ -f "$home/.config/tarvu/settings.ini" ] || fail "$user: no ~/.config/tarvu/settings.ini"
    iconv -f CP1251 -t UTF-8 "$home/.config/tarvu/settings.ini" | grep -q "ПОРТ IN=$listen" ||
        fail "$user: the read port was not saved"
    # tshark finds the installed dissector by itself and decodes both datagrams.
    [ "$(run_as "$user" "$home" tshark -r "$capture" -d "udp.port==$listen,tarvu" -T fields \
        -e tarvu.device -e tarvu.type 2>/dev/null | sort -u)" = $'1\t0x30' ] ||
        fail "$user: tshark does not decode the capture with the installed dissector"

    # The dialog on the offscreen platform: start-up writes its settings; then it is ended.
    local xdg=$scratch/xdg-$user
    mkdir -p "$xdg" && chown "$user" "$xdg"
    run_as "$user" "$home" env XDG_CONFIG_HOME="$xdg" QT_QPA_PLATFORM=offscreen tarvu \
        >/dev/null 2>&1 &
    local gui_pid=$!
    for _ in $(seq 100); do
        [ -f "$xdg/tarvu/settings.ini" ] && break
        sleep 0.1
    done
    [ -f "$xdg/tarvu/settings.ini" ] || fail "$user: the dialog wrote no \$XDG_CONFIG_HOME/tarvu/settings.ini"
    kill -0 "$gui_pid" 2>/dev/null || fail "$user: the dialog did not keep running"
    # SIGTERM goes to the dialog itself, not to the shell or runuser that started it: it closes
    # as its close box does. One that is still there after 10 s is killed, so that nothing
    # stays behind, and the step fails.
    local dialog_pid
    dialog_pid=$(pgrep -n -u "$user" -x tarvu) || fail "$user: no dialog process"
    kill "$dialog_pid" 2>/dev/null
    for _ in $(seq 100); do
        kill -0 "$dialog_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$dialog_pid" 2>/dev/null; then
        kill -9 "$dialog_pid" "$gui_pid" 2>/dev/null
        wait "$gui_pid" 2>/dev/null || true
        fail "$user: the dialog did not end on SIGTERM"
    fi
    wait "$gui_pid" 2>/dev/null || true
}
check_user nobody
check_user root
[ -z "$(ls -A /usr/bin | grep -i '^settings\|tarvu-probe')" ] || fail "something was written to /usr/bin"

[ $failures -eq 0 ] || { echo "$failures problem(s)" >&2; exit 1; }
echo "package installed, used from PATH and removed"
