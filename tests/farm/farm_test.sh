#!/usr/bin/env bash
# orvel render --slurm: refusals submit nothing; on a one-node cluster, three tasks give the local
# render's pixels, a corrupt input frame is named alone, and a cancelled job leaves whole frames
# that --skip-existing keeps while it finishes the sequence.
set -uo pipefail
orvel=$1 cluster=$2 failures=0 dir=""
work=$(mktemp -d) && cd "$work" || exit 1
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
trap '[ -n "$dir" ] && bash "$cluster" stop "$dir"; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
opts=(--set multiplier=8 --threads 1 --quiet)
same() { oiiotool --diff --fail 0 --failpercent 0 --hardfail 0 "$1" "$2" >/dev/null; }
written() { (cd "$1" && ls o.000?.exr 2>/dev/null | tr -dc '0-9\n' | sed 's/^0*//' | tr '\n' ' '); }

mkdir in ref bin empty
for f in 1 2 3 4 5 6; do
  oiiotool --pattern checker:width=8:height=8:color1=0.9,0.5,0.1,1:color2=0.1,0.2,0.8,1:xoffset=$f 96x64 4 \
    --pattern fill:top=10:bottom=300 96x64 1 --chappend --chnames R,G,B,A,Z -o in/in.000$f.exr || exit 1
done
"$orvel" render in/in.####.exr -o ref/o.####.exr --frames 1-6 "${opts[@]}" || fail "local render"
kept=$(ls -i ref/o.000[1-35-6].exr) && rm ref/o.0004.exr
"$orvel" render in/in.####.exr -o ref/o.####.exr --frames 1-6 "${opts[@]}" --skip-existing &&
  [ "$(ls -i ref/o.000[1-35-6].exr)" = "$kept" ] && [ -e ref/o.0004.exr ] || fail "local --skip-existing"

# Each refusal: status 2, one line naming the cause, no call of sbatch (a stand-in that records it).
printf '#!/bin/sh\ntouch %s/submitted\n' "$work" >bin/sbatch && chmod +x bin/sbatch
refuse() {
  local path=$1 cause=$2 out code
  shift 2
  out=$(PATH=$path "$orvel" render "$@" --slurm 2>&1)
  code=$?
  [ "$code" = 2 ] && [ "$(wc -l <<<"$out")" = 1 ] && grep -q -- "$cause" <<<"$out" && [ ! -e submitted ] ||
    fail "refusal of $* ($code): $out"
}
refuse "$work/bin" "needs --frames" in/in.####.exr -o ref/o.####.exr
refuse "$work/bin" "input path" in/in.0001.exr -o ref/o.####.exr --frames 1-6
refuse "$work/bin" "output path" in/in.####.exr -o ref/o.exr --frames 1-6
refuse "$work/empty" "sbatch" in/in.####.exr -o ref/o.####.exr --frames 1-6

# --wait after tasks that exit 0 but leave no frame (stand-ins of sbatch and squeue that log "exit 0"
# for each frame and call the job done): the frames count as failed, each named.
printf '#!/bin/sh\nfor f in 1 2; do echo "orvel-farm: job 7 frame $f exit 0" >>%s/o.000$f.exr.log; done\necho 7\n' \
  "$work/ghost/orvel-logs" >bin/sbatch && printf '#!/bin/sh\necho COMPLETED\n' >bin/squeue && chmod +x bin/squeue && mkdir ghost
out=$(PATH=$work/bin:$PATH "$orvel" render in/in.####.exr -o ghost/o.####.exr --frames 1-2 --slurm --wait 2>&1) &&
  fail "frames never written passed --wait"
grep -q "2 of 2 frames not written" <<<"$out" && grep -q "frame 2: not written" <<<"$out" || fail "not named: $out"

for tool in munged mungekey slurmctld slurmd sbatch; do
  command -v $tool >/dev/null || { echo "skipped: no $tool (Debian's munge, slurmctld, slurmd, slurm-client)"; exit $((failures ? 1 : 77)); }
done
[ "$(id -u)" = 0 ] || { echo "skipped: the one-node cluster runs as root"; exit $((failures ? 1 : 77)); }
start=$(date +%s.%N)
dir=$work/cluster
bash "$cluster" start "$dir" >/dev/null || { fail "cluster start" && exit 1; }
export SLURM_CONF=$dir/slurm.conf

mkdir out bad bad.out
"$orvel" render in/in.####.exr -o out/o.####.exr --frames 1-6 "${opts[@]}" --slurm --chunk 2 --wait >sub ||
  fail "three-task job: $(cat sub)"
grep -q "in 3 tasks" sub || fail "not three tasks: $(cat sub)"
for f in 1 2 3 4 5 6; do same out/o.000$f.exr ref/o.000$f.exr || fail "frame $f differs from the local render"; done

cp in/* bad/ && head -c 300 in/in.0003.exr >bad/in.0003.exr
"$orvel" render bad/in.####.exr -o bad.out/o.####.exr --frames 1-6 "${opts[@]}" --slurm --chunk 2 --wait 2>err >/dev/null &&
  fail "a corrupt frame passed"
[ "$(grep -o 'frame [0-9]*:' err)" = "frame 3:" ] && grep -q "o.0003.exr.log" err || fail "not frame 3 alone: $(cat err)"
[ "$(written bad.out)" = "1 2 4 5 6 " ] || fail "frames written beside the corrupt one: $(written bad.out)"

# Frames of about a second each (the straightforward engine, wide blurs), so that the cancel
# lands between frames.
slow=(--set multiplier=200 --set max_kernelsize=256 --engine reference --threads 1 --quiet)
mkdir cut slow
"$orvel" render in/in.####.exr -o slow/o.####.exr --frames 1-6 "${slow[@]}" || fail "local slow render"
"$orvel" render in/in.####.exr -o cut/o.####.exr --frames 1-6 "${slow[@]}" --slurm --chunk 6 >sub
job=$(sed -n 's/^submitted Slurm job \([0-9]*\).*/\1/p' sub)
for _ in $(seq 600); do [ -n "$(written cut)" ] && break; sleep 0.1; done
scancel "$job"
while squeue -h -j "$job" -t PD,R,CG,S 2>/dev/null | grep -q .; do sleep 0.2; done
before=$(written cut)
[ -n "$before" ] && [ "$before" != "1 2 3 4 5 6 " ] || fail "not cancelled mid-way: '$before'"
[ -z "$(ls -A cut | grep -v -e '^o.000[1-6].exr$' -e '^orvel-logs$')" ] || fail "partial files: $(ls -A cut)"
inodes=$(ls -i cut/o.*.exr)
"$orvel" render in/in.####.exr -o cut/o.####.exr --frames 1-6 "${slow[@]}" --skip-existing --slurm --chunk 2 --wait \
  >/dev/null || fail "resubmission with --skip-existing"
for f in 1 2 3 4 5 6; do same cut/o.000$f.exr slow/o.000$f.exr || fail "cut frame $f differs"; done
for f in $before; do grep -q "$(ls -i cut/o.000$f.exr)" <<<"$inodes" || fail "frame $f rendered again"; done

bash "$cluster" stop "$dir" && pgrep -f "$dir" && fail "processes left running"
dir=""
awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "cluster tests: %.1f s from start to stop\n", b - a }'
exit $((failures > 0))
