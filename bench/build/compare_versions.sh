#!/usr/bin/env bash
# Times `loftmark build --type all` with two builds of the program side by
# side: an earlier one and this one. Two scripts: the sample of the first
# steps, and a generated script of 3,000 files in 60 folders, 200 MB (half
# text-like, half incompressible; fixed seed). Each version runs from a
# copy of its program folder, RUNS times per script (default 3); the
# median and every run are printed in seconds.
#
# Usage: bash bench/build/compare_versions.sh EARLIER_BIN [THIS_BIN] [DATA_DIR]
#   EARLIER_BIN  program folder of the earlier build (with loftmark and the
#                libraries), e.g. one built from an earlier commit
#   THIS_BIN     default build/bin
#   DATA_DIR     where the generated script is kept between runs
#                (default: a temporary folder, removed at the end);
#                GENERATE_ONLY=1 only makes it
set -euo pipefail
cd "$(dirname "$0")/../.."
earlier=${1:?usage: compare_versions.sh EARLIER_BIN [THIS_BIN] [DATA_DIR]}
this=${2:-build/bin}
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=${3:-$work/data}

if [ ! -f "$data/Big.ugu" ]; then
  mkdir -p "$data"
  python3 - "$data" <<'EOF'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(4711)
os.makedirs(f"{root}/Big/DAT", exist_ok=True)
open(f"{root}/Big.ugu", "wb").write(b"[script]\r\n")
open(f"{root}/Big/DAT/mio00.euu", "wb").write(b"proof")
words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(2000)]
total, target, files = 0, 200 * 1000 * 1000, 3000
for i in range(files - 1):
    d = f"{root}/Big/DAT/dir{i % 60:02d}"
    os.makedirs(d, exist_ok=True)
    size = (target - total) // (files - 1 - i)
    size = max(1, int(size * rnd.uniform(0.5, 1.5))) if i < files - 2 else target - total
    if i % 2 == 0:
        out = bytearray()
        while len(out) < size:
            out += rnd.choice(words) + (b"\r\n" if rnd.random() < 0.1 else b" ")
        data = bytes(out[:size])
    else:
        data = rnd.randbytes(size)
    open(f"{d}/file{i:04d}.dat", "wb").write(data)
    total += size
EOF
fi
[ "${GENERATE_ONLY:-0}" = 1 ] && exit 0
cp -r examples/scripts "$work/sample"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# One timed build: version folder, script, output folder.
run() {
  local bin=$1 script=$2 out=$3 start end
  rm -rf "$out"
  start=$(date +%s.%N)
  "$bin/loftmark" build --script "$script" --type all --out "$out" --next "2030 4 1 9 0" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", b - a }'
}

printf '%-28s %-10s %10s   %s\n' script version median runs
for script in "$work/sample/Sample.ugu" "$data/Big.ugu"; do
  for version in earlier this; do
    src=$earlier
    [ "$version" = this ] && src=$this
    bin="$work/bin-$version"
    rm -rf "$bin"
    cp -r "$src" "$bin"
    rm -rf "$bin/temp" "$bin/builds" "$bin/lfup.ini"
    times=()
    for _ in $(seq "$runs"); do times+=("$(run "$bin" "$script" "$work/out-$version")"); done
    m=$(printf '%s\n' "${times[@]}" | median)
    printf '%-28s %-10s %10.2f   %s\n' "$(basename "$script")" "$version" "$m" "${times[*]}"
  done
done
echo "files in the generated script: $(find "$data/Big/DAT" -type f | wc -l), bytes: $(du -sb "$data/Big/DAT" | cut -f1)"
