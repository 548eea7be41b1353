#!/usr/bin/python3
# A download plug-in for the relay's tests, run by the relay as "<program> --downloads=<file>".
#
# Its settings are the JSON file beside it, "<program>.conf":
#   "behaviour"  "succeed"  write each download's file from "files" (URL -> content) and report every
#                           download succeeded
#                "fail"     report every download failed with "error" (a text, or null)
#                "exit"     end without a word
#                "hang"     become "/bin/sleep 600" (the same process), reporting nothing
#                "linger"   as "succeed", then stay for "linger" seconds
# Every run first appends its process id to "runs" beside the program and copies its downloads file
# to "downloads-<process id>.json" there.
#
# Reports are written as a temporary file in the inbox that the downloads file names and renamed to
# "plugin_status_<process id>" once complete, so the relay never reads half a report.
import json
import os
import sys
import time


def report(batch, statuses):
    inbox = batch["inbox"]
    temporary = os.path.join(inbox, "status-%d.tmp" % os.getpid())
    with open(temporary, "w") as status_file:
        json.dump({"message": "status", "id": batch["id"], "status": statuses}, status_file)
    os.rename(temporary, os.path.join(inbox, "plugin_status_%d" % os.getpid()))


def main():
    program = sys.argv[0]
    folder = os.path.dirname(program)
    with open(program + ".conf") as conf_file:
        conf = json.load(conf_file)
    (argument,) = sys.argv[1:]
    prefix = "--downloads="
    if not argument.startswith(prefix):
        sys.exit("unexpected argument " + argument)
    with open(argument[len(prefix):], "rb") as downloads_file:
        text = downloads_file.read()
    with open(os.path.join(folder, "downloads-%d.json" % os.getpid()), "wb") as record:
        record.write(text)
    with open(os.path.join(folder, "runs"), "a") as runs:
        runs.write("%d\n" % os.getpid())

    batch = json.loads(text)
    behaviour = conf["behaviour"]
    if behaviour == "hang":
        os.execv("/bin/sleep", ["sleep", "600"])
    if behaviour == "exit":
        return
    statuses = []
    for download in batch["downloads"]:
        if behaviour == "fail":
            statuses.append({"id": download["id"], "success": False, "error": conf.get("error")})
            continue
        with open(download["file"], "wb") as target:
            target.write(conf["files"][download["url"]].encode())
        statuses.append({"id": download["id"], "success": True, "error": None})
    report(batch, statuses)
    if behaviour == "linger":
        time.sleep(conf["linger"])


main()
