#!/usr/bin/env python3
"""Runs one scenario module with unittest and writes its cases as a JUnit file."""
import argparse
import importlib.util
import os
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path


class JUnitResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.records = []
        self._started = 0.0

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def _record(self, test, kind, detail=""):
        self.records.append((test.id(), kind, detail, time.monotonic() - self._started))

    def addSuccess(self, test):
        super().addSuccess(test)
        self._record(test, "pass")

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._record(test, "failure", self._exc_info_to_string(err, test))

    def addError(self, test, err):
        super().addError(test, err)
        self._record(test, "error", self._exc_info_to_string(err, test))

    def addSubTest(self, test, subtest, err):
        # A failing subTest fails its test without addFailure: record it here, or it is lost.
        super().addSubTest(test, subtest, err)
        if err is not None:
            kind = "failure" if issubclass(err[0], test.failureException) else "error"
            self._record(subtest, kind, self._exc_info_to_string(err, test))

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._record(test, "skipped", reason)


def write_junit(path, suite_name, records):
    root = ET.Element("testsuites")
    suite = ET.SubElement(root, "testsuite", name=suite_name, tests=str(len(records)))
    for test_id, kind, detail, seconds in records:
        case = ET.SubElement(suite, "testcase", name=test_id, time=f"{seconds:.3f}")
        if kind != "pass":
            ET.SubElement(case, kind).text = detail
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def boot_prefix():
    """Makes the scenarios' Wine prefix before any scenario's clock starts. The first program run
    in a new prefix builds it, which with other modules running beside it has taken two minutes:
    longer than a scenario waits for a window."""
    if not os.environ.get("GARUN2_EXE"):
        return  # not a scenario of the patcher's
    import patcher_run
    box = patcher_run.Sandbox()
    try:
        box.run("--headless", "--version", timeout=900)
    finally:
        box.cleanup()
    # The boot's wineserver and services were started without the module's display; a window
    # started while they linger would look for that display in vain.
    subprocess.run([patcher_run.WINESERVER, "-w"], timeout=300,
                   env=dict(os.environ, WINEPREFIX=str(patcher_run.WINE_PREFIX)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("module")
    parser.add_argument("--junit")
    args = parser.parse_args()
    module_path = Path(args.module).resolve()
    sys.path.insert(0, str(module_path.parent))
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    boot_prefix()
    spec = importlib.util.spec_from_file_location(module_path.stem, module_path)
    module = importlib.util.module_from_spec(spec)
    # unittest finds setUpModule/tearDownModule through sys.modules.
    sys.modules[module_path.stem] = module
    spec.loader.exec_module(module)
    suite = unittest.defaultTestLoader.loadTestsFromModule(module)
    runner = unittest.TextTestRunner(verbosity=2, resultclass=JUnitResult)
    result = runner.run(suite)
    if args.junit:
        write_junit(args.junit, module_path.stem, result.records)
    # The module's own prefix goes with it (GARUN2_KEEP_PREFIX=1 keeps it to look into); the
    # build's shared one stays.
    if os.environ.get("GARUN2_EXE") and not os.environ.get("GARUN2_KEEP_PREFIX"):
        import patcher_run
        if patcher_run.WINE_PREFIX.name.startswith("wineprefix-e2e-"):
            patcher_run.discard_prefix(patcher_run.WINE_PREFIX)
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
