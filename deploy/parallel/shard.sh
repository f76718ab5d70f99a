#!/usr/bin/env bash
# shard.sh LIST BRINDLE-ARGS...
# Runs `brindle BRINDLE-ARGS --files-from - --jsonl -q` over the names in LIST, a shard of
# $BRINDLE_SHARD_SIZE names (default 1000) a job, on the hosts of $BRINDLE_HOSTS (GNU parallel's
# --sshlogin form, comma-separated; default ":" , this machine with a job a core). The JSON Lines
# come out in the order of LIST, each shard's summary object after its documents. The names
# must mean the same files on every host (a shared mount), and brindle ($BRINDLE, default
# "brindle") must be on each host's PATH.
# Exit status: 0 when every shard succeeded, else the number of shards that did not (at most
# 101); each shard's own exit code is in its summary object.
set -uo pipefail
if [ $# -lt 2 ]; then
    echo "usage: shard.sh LIST BRINDLE-ARGS... (e.g. shard.sh files.txt packages)" >&2
    exit 1
fi
list=$1
shift
exec parallel --pipe --recend '\n' -N "${BRINDLE_SHARD_SIZE:-1000}" --keep-order --halt never \
    -S "${BRINDLE_HOSTS:-:}" "${BRINDLE:-brindle}" "$@" --files-from - --jsonl -q <"$list"
