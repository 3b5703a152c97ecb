#!/usr/bin/env python3
"""Counts passed and failed tests over every build's CTest JUnit file.

A CTest entry that runs a GoogleTest binary (or another runner that leaves a JUnit file of the same
name in test-results/) is counted case by case; any other entry counts as one test. A binary that
crashed after writing part of its results still counts as failed.
"""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def cases(xml_path):
    passed = failed = skipped = 0
    root = ET.parse(xml_path).getroot()
    for case in root.iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("status") == "notrun":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def ctest_cases(junit):
    """CTest's entries, or None when its file cannot be read (a full disk leaves it empty)."""
    try:
        return list(ET.parse(junit).getroot().iter("testcase"))
    except ET.ParseError:
        return None


def e2e_line(build_dirs):
    """Which exe the end-to-end suite ran, read from what CTest ran in this run."""
    ran = set()
    for build in map(Path, build_dirs):
        junit = build / "ctest-junit.xml"
        if junit.exists() and any(case.get("name", "").startswith("e2e_")
                                  for case in ctest_cases(junit) or []):
            ran.add(build.name)
    if "win32" in ran:
        return "e2e: shipped 32-bit exe"
    if "win64" in ran:
        return "e2e: 64-bit build, 32-bit Wine unavailable"
    return "e2e: not run"


def main(build_dirs):
    total = [0, 0, 0]
    for build in map(Path, build_dirs):
        junit = build / "ctest-junit.xml"
        if not junit.exists():
            continue
        entries = ctest_cases(junit)
        if entries is None:
            print(f"  {build.name}: {junit.name} cannot be read: 0 passed, 1 failed")
            total[1] += 1
            continue
        for case in entries:
            name = case.get("name")
            ctest_failed = case.get("status") == "fail" or case.find("failure") is not None
            detail = build / "test-results" / f"{name}.xml"
            if detail.exists():
                try:
                    p, f, s = cases(detail)
                except ET.ParseError:
                    p, f, s = 0, 1, 0
                if ctest_failed and f == 0:
                    f = 1
            else:
                p, f, s = (0, 1, 0) if ctest_failed else (1, 0, 0)
                if case.get("status") in ("notrun", "disabled"):
                    p, f, s = 0, 0, 1
            print(f"  {build.name}/{name}: {p} passed, {f} failed" + (f", {s} skipped" if s else ""))
            total[0] += p
            total[1] += f
            total[2] += s
    return total


if __name__ == "__main__":
    passed, failed, skipped = main(sys.argv[1:])
    print(e2e_line(sys.argv[1:]))
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    sys.exit(1 if failed else 0)
