#!/usr/bin/env bash
# A one-node Slurm cluster in a temporary folder, for the farm tests and for trying
# `orvel render --slurm` on one machine. Run as root; needs Debian's munge, slurmctld, slurmd and
# slurm-client.
#
#   scripts/slurm-one-node.sh install     installs those Debian packages (what is missing)
#   scripts/slurm-one-node.sh start [DIR] prints: export SLURM_CONF=DIR/slurm.conf
#   scripts/slurm-one-node.sh stop DIR    cancels its jobs, ends its three daemons
#
# munged, slurmctld and slurmd run from DIR with a fresh munge key, on ports 16817 and 16818
# (SLURM_ONE_NODE_PORT changes the first), so that they never meet a real cluster's.
# `stop` ends exactly the daemons `start` recorded, by their process ids.
set -euo pipefail

packages=(munge slurm-client slurmctld slurmd)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

write_config() {
  local dir=$1 port=${SLURM_ONE_NODE_PORT:-16817} host
  host=$(hostname -s)
  cat >"$dir/slurm.conf" <<EOF
ClusterName=orvel-one-node
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
KillWait=10
MinJobAge=60
NodeName=orvel-node NodeHostname=$host NodeAddr=127.0.0.1 CPUs=2 RealMemory=1024 State=UNKNOWN
PartitionName=main Nodes=orvel-node Default=YES MaxTime=INFINITE State=UP
EOF
}

# Waits until `sinfo` reports the node idle (up to 30 s).
wait_for_node() {
  for _ in $(seq 60); do
    [ "$(SLURM_CONF=$1/slurm.conf sinfo -h -n orvel-node -o %T 2>/dev/null)" = idle ] && return 0
    sleep 0.5
  done
  echo "slurm-one-node: the node did not come up; see $1/slurmctld.log and $1/slurmd.log" >&2
  return 1
}

# The key, the config and the three daemons, each daemonising and writing its pid file.
launch() {
  local dir=$1
  mungekey --create --keyfile="$dir/munge.key" --force &&
    munged --socket="$dir/munge.socket" --key-file="$dir/munge.key" --pid-file="$dir/munged.pid" \
      --log-file="$dir/munged.log" --seed-file="$dir/munged.seed" --force &&
    write_config "$dir" &&
    slurmctld -f "$dir/slurm.conf" -i &&
    slurmd -f "$dir/slurm.conf" -N orvel-node &&
    wait_for_node "$dir"
}

start() {
  local dir=${1:-$(mktemp -d /tmp/orvel-slurm.XXXXXX)}
  mkdir -p "$dir/state" "$dir/spool"
  chmod 700 "$dir"
  dir=$(cd "$dir" && pwd)
  launch "$dir" || { stop "$dir"; return 1; }
  echo "export SLURM_CONF=$dir/slurm.conf"
}

# Ends the process in pid file $1 if it still runs program $2; waits for it to go.
end_daemon() {
  local file=$1 name=$2 pid
  [ -f "$file" ] || return 0
  pid=$(cat "$file")
  if [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = "$name" ]; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$file"
}

stop() {
  local dir=${1:?usage: slurm-one-node.sh stop DIR}
  [ -f "$dir/slurm.conf" ] || { echo "slurm-one-node: no cluster in $dir" >&2; return 1; }
  # Jobs first, through the cluster itself, so that no job step outlives its daemon.
  if [ -f "$dir/slurmctld.pid" ]; then
    SLURM_CONF=$dir/slurm.conf scancel --full --quiet --partition=main 2>/dev/null || true
    for _ in $(seq 40); do
      [ -z "$(SLURM_CONF=$dir/slurm.conf squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.5
    done
  fi
  end_daemon "$dir/slurmd.pid" slurmd
  end_daemon "$dir/slurmctld.pid" slurmctld
  end_daemon "$dir/munged.pid" munged
}

case "${1:-}" in
  install) install_packages ;;
  start) shift && start "$@" ;;
  stop) shift && stop "$@" ;;
  *)
    echo "usage: slurm-one-node.sh install | start [DIR] | stop DIR" >&2
    exit 2
    ;;
esac
