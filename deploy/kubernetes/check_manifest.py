#!/usr/bin/env python3
"""Reads the Job manifest and checks what the cluster and the shard script rely on.

Prints the container's shell script on success (for a test to run), exits 1 with the
reason otherwise.
"""
import sys

import yaml


def fail(why):
    print("manifest: " + why, file=sys.stderr)
    sys.exit(1)


with open(sys.argv[1], encoding="utf-8") as f:
    docs = [d for d in yaml.safe_load_all(f) if d is not None]
if len(docs) != 1:
    fail("one object expected")
job = docs[0]
if job.get("apiVersion") != "batch/v1" or job.get("kind") != "Job":
    fail("not a batch/v1 Job")
if not job.get("metadata", {}).get("name"):
    fail("no name")
spec = job.get("spec", {})
if spec.get("completionMode") != "Indexed":
    fail("completionMode is not Indexed")
completions = spec.get("completions")
if not isinstance(completions, int) or completions < 1:
    fail("completions is not a positive whole number")
pod = spec.get("template", {}).get("spec", {})
if pod.get("restartPolicy") not in ("Never", "OnFailure"):
    fail("a Job's pods restart Never or OnFailure")
containers = pod.get("containers", [])
if len(containers) != 1:
    fail("one container expected")
c = containers[0]
for key in ("name", "image", "command"):
    if not c.get(key):
        fail("the container has no " + key)
env = {e["name"]: e.get("value") for e in c.get("env", [])}
if env.get("SHARDS") != str(completions):
    fail("SHARDS (%s) is not completions (%d)" % (env.get("SHARDS"), completions))
mounts = {m["name"]: m["mountPath"] for m in c.get("volumeMounts", [])}
volumes = {v["name"]: v for v in pod.get("volumes", [])}
for name, path in mounts.items():
    if name not in volumes:
        fail("mount %s names no volume" % name)
if env.get("SHARED") not in mounts.values():
    fail("SHARED is not a mounted volume")
if not any("persistentVolumeClaim" in v for v in volumes.values()):
    fail("no shared volume (persistentVolumeClaim)")
cmd = c["command"]
if cmd[:2] != ["/bin/sh", "-c"] or len(cmd) != 3:
    fail("the command is not /bin/sh -c SCRIPT")
if "JOB_COMPLETION_INDEX" not in cmd[2] or "--jsonl" not in cmd[2]:
    fail("the script does not take its shard by JOB_COMPLETION_INDEX and write JSON Lines")
sys.stdout.write(cmd[2])
