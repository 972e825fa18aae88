#!/usr/bin/env bash
# Upload and download of a 200 MiB file over loopback to OpenSSH's sshd (SFTP): TFtpClient with
# UseSftp (bench_transfer sftp) against OpenSSH's own sftp client in batch mode, as throughput
# ratios, with the longest stall of the client's event loop. Needs root (sshd serves the
# harness's test account). Not part of ctest.
#
#   bench/bench-sftp.sh [BUILD_DIR] [SIZE_MIB] [ROUNDS]     defaults: build 200 3
#
# BUILD_DIR must hold bench/bench_transfer and tests/fernhop-test-ftp-server.
set -euo pipefail

build=${1:-build}
size_mib=${2:-200}
rounds=${3:-3}
client=$build/bench/bench_transfer
launcher=$build/tests/fernhop-test-ftp-server
for tool in "$client" "$launcher"; do
    [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/fernhop-bench-sftp-XXXXXX)
coproc SERVER { exec "$launcher" sshd; }
server_pid=$SERVER_PID
cleanup() {
    exec {SERVER[1]}>&- 2>/dev/null || true # the launcher stops the server when stdin closes
    wait "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

read -r banner <&"${SERVER[0]}"
eval "$(echo "$banner" | tr ' ' '\n' | grep -E '^(port|user|password|root|base)=')"
echo "sshd on 127.0.0.1:$port, ${size_mib} MiB, best of $rounds rounds"
ssh-keygen -q -t ed25519 -N "" -f "$work/key"
cat "$work/key.pub" >>"$base/authorized_keys"
echo "[127.0.0.1]:$port $(cat "$base/host_ed25519.pub")" >"$work/known_hosts"
head -c $((size_mib << 20)) /dev/urandom >"$work/payload.bin"

best() { sort -n | head -1; }
ours_up=() ours_down=() theirs_up=() theirs_down=() stalls=()
for ((round = 0; round < rounds; round++)); do
    line=$("$client" "$port" "$user" "$password" "$work/payload.bin" bench-sftp.bin sftp)
    ours_up+=("$(echo "$line" | sed -E 's/.*upload_s=([0-9.]+).*/\1/')")
    ours_down+=("$(echo "$line" | sed -E 's/.*download_s=([0-9.]+).*/\1/')")
    stalls+=("$(echo "$line" | sed -E 's/.*upload_stall_ms=([0-9.]+) download_stall_ms=([0-9.]+).*/\1 \2/')")
    cmp -s "$work/payload.bin" "$work/payload.bin.back" || { echo "download differs" >&2; exit 1; }
    # OpenSSH's sftp: the put and the get timed apart.
    printf 'put %s bench-sftp.bin\n' "$work/payload.bin" >"$work/put"
    printf 'get bench-sftp.bin %s\n' "$work/back.bin" >"$work/get"
    opts=(-q -i "$work/key" -o "UserKnownHostsFile=$work/known_hosts" -o BatchMode=yes -P "$port")
    start=$(date +%s.%N); sftp "${opts[@]}" -b "$work/put" "$user@127.0.0.1" >/dev/null; end=$(date +%s.%N)
    theirs_up+=("$(echo "$end - $start" | bc)")
    start=$(date +%s.%N); sftp "${opts[@]}" -b "$work/get" "$user@127.0.0.1" >/dev/null; end=$(date +%s.%N)
    theirs_down+=("$(echo "$end - $start" | bc)")
done
ou=$(printf '%s\n' "${ours_up[@]}" | best); od=$(printf '%s\n' "${ours_down[@]}" | best)
tu=$(printf '%s\n' "${theirs_up[@]}" | best); td=$(printf '%s\n' "${theirs_down[@]}" | best)
echo "upload:   fernhop ${ou}s  sftp ${tu}s  speed ratio $(echo "scale=2; $tu / $ou" | bc)"
echo "download: fernhop ${od}s  sftp ${td}s  speed ratio $(echo "scale=2; $td / $od" | bc)"
echo "event loop stalls (upload download, ms): ${stalls[*]}"
