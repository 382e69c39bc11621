#!/usr/bin/env bash
# The deployment example (deploy/update-printers.yml), as far as it can be checked without a
# Windows computer: ansible-playbook's syntax check (which also resolves every module), every
# task's options against its module's documented options, and its last three tasks (keep the
# result, write the report, judge the exit code) run on this computer against stand-ins for
# corvelcmd: one computer per exit code 0, 5, 7 and 1, and one whose run never happened.
#
#   playbook.sh WORKDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(realpath -m -- "$1")
playbook=$root/deploy/update-printers.yml
rm -rf "$work"
mkdir -p "$work"
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_HOME=$work/home
failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

ansible-playbook --syntax-check -i "$root/deploy/inventory.example.ini" "$playbook" >"$work/syntax.log" 2>&1 &&
  echo "ok: syntax check" || { cat "$work/syntax.log"; fail "syntax check"; }

# Debian's python3 has the yaml module that ansible itself uses.
/usr/bin/python3 - "$playbook" "$work" <<'EOF' || fail "the module options or the rehearsal's set-up"
import json, subprocess, sys, yaml

playbook, work = sys.argv[1:]
play = yaml.safe_load(open(playbook))[0]
keywords = {"name", "when", "register", "become", "become_method", "become_user", "failed_when",
            "changed_when", "run_once", "delegate_to", "vars", "tags"}
modules = [next(k for k in task if k not in keywords) for task in play["tasks"]]
docs = json.loads(subprocess.run(["ansible-doc", "-j"] + sorted(set(modules)), check=True,
                                 capture_output=True, text=True).stdout)
bad = 0
for task, module in zip(play["tasks"], modules):
    options = set(docs[module]["doc"]["options"])
    if "key_value" in options:  # set_fact: any name is a fact
        continue
    unknown = set(task[module]) - options
    if unknown:
        print(f"FAILED: {task['name']}: {module} has no option {sorted(unknown)}")
        bad += 1
if bad:
    sys.exit(1)
print(f"ok: the options of the {len(play['tasks'])} tasks are their modules' own")

# The rehearsal: the same tasks from "Keep the result" on, after a stand-in for each step before.
stand_in = {"ansible.builtin.set_fact": {"corvel_run": "{{ runs[inventory_hostname] }}"},
            "when": "inventory_hostname != 'never'"}
early_failure = {"ansible.builtin.fail": {"msg": "an earlier step failed"}, "when": "inventory_hostname == 'never'"}
tail = [t for t in play["tasks"] if t["name"].startswith(("Keep", "Write", "Fail"))]
assert len(tail) == 3, tail
for task in tail:
    if "ansible.builtin.copy" in task:
        task["ansible.builtin.copy"]["dest"] = work + "/report.json"
document = '{"printers": [{"name": "P"}], "errors": []}'
runs = {host: {"rc": rc, "stdout": document if rc != 1 else "", "stderr_lines": [f"stage of {host}"]}
        for host, rc in (("updated", 0), ("skipped", 5), ("unreachable", 7), ("failed", 1))}
rehearsal = dict(play, vars=dict(play["vars"], runs=runs), tasks=[early_failure, stand_in] + tail)
yaml.safe_dump([rehearsal], open(work + "/rehearsal.yml", "w"))
with open(work + "/hosts.ini", "w") as inventory:
    inventory.write("[printer_computers]\n")
    for host in list(runs) + ["never"]:
        inventory.write(f"{host} ansible_connection=local ansible_python_interpreter=/usr/bin/python3\n")
EOF

if [ -f "$work/rehearsal.yml" ]; then
  ansible-playbook -i "$work/hosts.ini" "$work/rehearsal.yml" >"$work/rehearsal.log" 2>&1 && status=0 || status=$?
  # ansible-playbook exits with 2 when a host failed.
  [ "$status" -eq 2 ] || { cat "$work/rehearsal.log"; fail "the rehearsal exited with $status, expected 2"; }
  for host in updated skipped unreachable failed never; do
    line=$(sed -n "s/^$host *: //p" "$work/rehearsal.log")
    case $host in failed | never) want="failed=1" ;; *) want="failed=0" ;; esac
    [[ $line == *"$want"* ]] && echo "ok: $host: $want" || fail "$host: expected $want in the recap, got \"$line\""
  done
  /usr/bin/python3 - "$work/report.json" <<'EOF' || fail "the report"
import json, sys
report = json.load(open(sys.argv[1]))
expected = {"updated": 0, "skipped": 5, "unreachable": 7, "failed": 1}
assert sorted(report) == sorted(list(expected) + ["never"]), sorted(report)
for host, rc in expected.items():
    entry = report[host]
    assert entry["exit_code"] == rc, (host, entry)
    assert entry["stderr"] == [f"stage of {host}"], (host, entry)
    assert (entry["report"] is None) if rc == 1 else (entry["report"]["printers"] == [{"name": "P"}]), (host, entry)
assert isinstance(report["never"], str), report["never"]
print("ok: the report holds each computer's exit code and document, and names the one not run")
EOF
fi

if ((failed)); then echo "$failed checks failed"; exit 1; fi
echo "release.playbook passed"
rm -rf "$work"
