#!/usr/bin/env bash
# The workflow on a real SLURM cluster: a private single-node cluster (its
# own munged, slurmctld and slurmd, ports, state and logs in a temporary
# folder) runs README.md's cluster commands exactly as written, on three
# sample genomes: Snakemake 7 with the profile workflow/profiles/slurm. The jobs must have gone through the scheduler and the
# outputs must equal those of a local run byte for byte. Every daemon is
# stopped by its PID at the end, whatever happens.
# Skipped (77) unless run as root with slurm-wlm, munge and snakemake, and
# where slurmd cannot start: it needs a cgroup file system on
# /sys/fs/cgroup (a container may have none); the reason quotes its log.
# Usage: slurm_workflow_test.sh QUILLET_MAP SOURCE_DIR WORK_DIR
set -euo pipefail
map=$1 src=$2 work=$3

[ "$(id -u)" -eq 0 ] || { echo "skipped: slurmd and slurmctld of a private cluster need root"; exit 77; }
for tool in munged munge slurmctld slurmd sbatch squeue sinfo scancel snakemake python3; do
    command -v "$tool" >/dev/null ||
        { echo "skipped: $tool is not installed (apt-get install slurm-wlm munge snakemake)"; exit 77; }
done
# slurmd's cgroup plugin, whatever the task and process tracking plugins,
# starts only on a cgroup (v1 controllers) or cgroup2 file system there.
awk '$2 ~ "^/sys/fs/cgroup(/|$)" && ($3 == "cgroup" || $3 == "cgroup2") { found = 1 } END { exit !found }' \
    /proc/self/mounts ||
    { echo "skipped: no cgroup file system is mounted on /sys/fs/cgroup, and slurmd cannot start without one"; exit 77; }

# The commands README.md gives for a cluster: the code block after the
# marker line, continuation lines and all.
readme_commands=$(awk '/<!-- cluster commands:/ { marked = 1; next }
                       marked && /^```/ { if (inside) exit; inside = 1; next }
                       inside { print }' "$src/README.md")
grep -q '^snakemake .*--profile workflow/profiles/slurm ' <<<"$readme_commands" ||
    { echo "FAIL: no cluster commands after the marker in README.md: $readme_commands"; exit 1; }

rm -rf "$work" && mkdir -p "$work"
# The daemons' folder is short: a Unix socket path holds at most 107 bytes.
run=$(mktemp -d /tmp/quillet-slurm.XXXXXX)
chmod 755 "$run"   # munged wants its socket's folders open to everyone
mkdir -m 755 "$run/munge" "$run/state" "$run/spool" "$run/log" "$run/pid"
pids=()

stop_cluster() {
    local status=$?
    if [ -n "${SLURM_CONF:-}" ] && squeue -h >/dev/null 2>&1; then
        # Jobs of a failed run end first, so that no job step outlives the
        # test (slurmstepd keeps running when slurmd stops).
        scancel --quiet --full $(squeue -h -o %i) 2>/dev/null || true
        for _ in $(seq 50); do
            [ -z "$(squeue -h 2>/dev/null)" ] && break
            sleep 0.2
        done
    fi
    # slurmd, slurmctld, then munged, which the other two talk to.
    local i pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.2
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [ $status -eq 0 ] || [ $status -eq 77 ] || { echo "--- daemon logs"; tail -n 20 "$run"/log/*; } || true
    rm -rf "$run"
    exit $status
}
trap stop_cluster EXIT
trap 'exit 1' INT TERM HUP

# munge with its own key and socket.
dd if=/dev/urandom of="$run/munge/munge.key" bs=1024 count=1 status=none
chmod 600 "$run/munge/munge.key"
socket=$run/munge/socket
munged --foreground --socket="$socket" --key-file="$run/munge/munge.key" --pid-file="$run/pid/munged.pid" \
    --seed-file="$run/munge/seed" --log-file="$run/log/munged.log" </dev/null >"$run/log/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    munge --socket="$socket" --no-input >/dev/null 2>&1 && break
    kill -0 "${pids[0]}" 2>/dev/null || { echo "FAIL: munged ended"; cat "$run/log/munged.out"; exit 1; }
    sleep 0.1
done

# This host as the only node, with what slurmd finds in it, and two free
# ports of the loopback interface.
host=$(hostname -s 2>/dev/null || uname -n | cut -d. -f1)
hardware=$(slurmd -C 2>/dev/null | head -1 || true)
cpus=$(grep -oP '\bCPUs=\K[0-9]+' <<<"$hardware" || nproc)
memory=$(grep -oP '\bRealMemory=\K[0-9]+' <<<"$hardware" || awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo)
read -r ctld_port slurmd_port < <(python3 -c '
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in sockets))')
export SLURM_CONF=$run/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=quillettest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$run/state
SlurmdSpoolDir=$run/spool
SlurmctldPidFile=$run/pid/slurmctld.pid
SlurmdPidFile=$run/pid/slurmd.pid
SlurmctldLogFile=$run/log/slurmctld.log
SlurmdLogFile=$run/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$run/log/jobcomp.txt
MpiDefault=none
MailProg=/bin/true
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
DefMemPerCPU=500
ReturnToService=2
SlurmdParameters=config_overrides
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -c -f "$SLURM_CONF" </dev/null >"$run/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" </dev/null >"$run/log/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 150); do
    [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && break
    kill -0 "${pids[2]}" 2>/dev/null || break
    sleep 0.2
done
# A slurmd that ended at its start found something missing on this host
# (its log says what, without the times); one that runs and a node that
# is not idle is a failure.
if ! kill -0 "${pids[2]}" 2>/dev/null; then
    said=$(cat "$run/log/slurmd.log" 2>/dev/null || true)
    [ -n "$said" ] || said=$(cat "$run/log/slurmd.out" 2>/dev/null || true)
    echo "skipped: slurmd could not start here; its log ends: $(tail -n 3 <<<"$said" | sed 's/^\[[^]]*\] //' |
        paste -sd'|' | sed 's/|/ | /g')"
    exit 77
fi
[ "$(sinfo -h -o %t 2>/dev/null)" = idle ] || { echo "FAIL: the node is not idle: $(sinfo 2>&1)"; exit 1; }

# The same folder of genomes for the cluster and for a local run; the
# README's commands run in a folder where workflow/Snakefile is this one,
# with this quillet-map first on the PATH (sbatch passes it to the jobs).
mkdir -p "$work/bin" "$work/cluster/genomes"
printf '#!/bin/sh\nexec %q "$@"\n' "$map" >"$work/bin/quillet-map"
chmod +x "$work/bin/quillet-map"
export PATH=$work/bin:$PATH
cp "$src/samples/lambda_virus.fa" "$src/tests/data/athaliana_excerpt.fa" "$work/cluster/genomes/"
gzip -c "$src/samples/phix174.fa" >"$work/cluster/genomes/phix174.fa.gz"
ln -s "$src/workflow" "$work/cluster/workflow"
cp -a "$work/cluster" "$work/local"
printf '%s\n' "$readme_commands" >"$work/readme_commands.sh"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cd "$work/cluster"
# CI=true makes Snakemake look at its cluster jobs every second instead of
# every ten; the commands stay as written.
started=$SECONDS
CI=true timeout 90 bash -e "$work/readme_commands.sh" >snakemake.log 2>&1 ||
    { cat snakemake.log; fail "the README's cluster commands failed"; exit 1; }
echo "cluster run: $((SECONDS - started)) s"

# Through the scheduler: a job log that sbatch named after its job id, a
# completed job of that id in the controller's record, and Snakemake's word
# that it submitted it.
job_logs=(slurm/*.log)
[ ${#job_logs[@]} -eq 1 ] && [ -f "${job_logs[0]}" ] || fail "one job log in slurm/: ${job_logs[*]}"
id=$(basename "${job_logs[0]}" .log)
grep -q 'rule map_group_1:' "${job_logs[0]}" || fail "job log: $(cat "${job_logs[0]}")"
grep -q "^JobId=$id .*JobState=COMPLETED .*WorkDir=$work/cluster " "$run/log/jobcomp.txt" ||
    fail "job $id in the controller's record: $(cat "$run/log/jobcomp.txt")"
grep -q "external jobid 'Submitted batch job $id'" snakemake.log || fail "Snakemake's log: $(cat snakemake.log)"

# The same files as a local run, byte for byte.
(cd "$work/local" && snakemake -s workflow/Snakefile --cores 2 --quiet --config input=genomes output=maps \
    >snakemake.log 2>&1) || { cat "$work/local/snakemake.log"; fail "local run"; }
for g in lambda_virus athaliana_excerpt phix174; do
    for f in "maps/$g.png" "maps/$g.tsv" "maps/overview/$g.png"; do
        cmp "$f" "$work/local/$f" || fail "$f differs from the local run's"
    done
done
cmp maps/summary.tsv "$work/local/maps/summary.tsv" || fail "maps/summary.tsv differs from the local run's"
[ "$(wc -l <maps/summary.tsv)" -eq 10 ] || fail "summary: $(cat maps/summary.tsv)"
[ "$(cd maps && ls | sort | tr '\n' ' ')" = "athaliana_excerpt.png athaliana_excerpt.tsv lambda_virus.png \
lambda_virus.tsv logs overview phix174.png phix174.tsv summary.tsv " ] || fail "maps/: $(ls maps)"

echo "$failures failed"
[ "$failures" -eq 0 ]
