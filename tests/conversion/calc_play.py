#!/usr/bin/python3
"""Opens a workbook in a LibreOffice Calc of its own and reports what its
first sheet shows.

    calc_play.py WORKBOOK EXPECTED_ROWS REPORT

EXPECTED_ROWS is a UTF-8 file with the rows column A must end up showing, one
per line. The workbook is first opened with macros off, to read the cell A1
as a user without macros sees it; then with macros allowed and not hidden, so
that its open event runs. Column A is read until it shows the expected rows
(or the time limit passes). REPORT receives a JSON object:

    hint         A1 with macros off
    rows         column A at the end, down to the last non-empty cell
    saw_change   whether A1 ever showed something other than the hint
    error        what went wrong starting or driving the program, or null

Runs with the system Python, which has the uno module.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

START_TIMEOUT_S = 25      # first start with a fresh profile included
PLAY_TIMEOUT_S = 20       # from opening the workbook to the expected rows
HARD_LIMIT_S = 50         # after its start the program is killed, whatever it does
POLL_S = 0.05
NEVER_EXECUTE, ALWAYS_EXECUTE_NO_WARN = 0, 4

# Settings of the private profile: load the workbook's VBA project as
# runnable code, and trust macros (the load argument allows them as well).
PROFILE_SETTINGS = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Filter/Import/VBA"><prop oor:name="Load" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Filter/Import/VBA"><prop oor:name="Executable" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
"""


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def column_a(sheet, limit=2000):
    rows = []
    for r in range(limit):
        text = sheet.getCellByPosition(0, r).getString()
        rows.append(text)
    while rows and rows[-1] == '':
        rows.pop()
    return rows


def column_a_top(sheet, count):
    return [sheet.getCellByPosition(0, r).getString() for r in range(count)]


def start_office(workdir):
    profile = os.path.join(workdir, 'profile')
    os.makedirs(os.path.join(profile, 'user'))
    with open(os.path.join(profile, 'user', 'registrymodifications.xcu'), 'w') as f:
        f.write(PROFILE_SETTINGS)
    pipe = 'glyphreel_calc_%d' % os.getpid()
    office = subprocess.Popen(
        ['soffice', '--headless', '--norestore', '--nologo', '--nodefault', '--nolockcheck',
         '-env:UserInstallation=' + uno.systemPathToFileUrl(profile),
         '--accept=pipe,name=%s;urp;StarOffice.ComponentContext' % pipe],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=None if os.environ.get('GLYPHREEL_CALC_DEBUG') else subprocess.DEVNULL)
    # A dialog or a macro that never returns would block the calls to the
    # program for good; killing it makes them fail instead.
    watchdog = threading.Timer(HARD_LIMIT_S, office.kill)
    watchdog.daemon = True
    watchdog.start()
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext('com.sun.star.bridge.UnoUrlResolver', local)
    deadline = time.monotonic() + START_TIMEOUT_S
    while True:
        try:
            context = resolver.resolve('uno:pipe,name=%s;urp;StarOffice.ComponentContext' % pipe)
            break
        except NoConnectException:
            if office.poll() is not None or time.monotonic() > deadline:
                office.kill()
                raise RuntimeError('soffice did not start')
            time.sleep(0.2)
    desktop = context.ServiceManager.createInstanceWithContext('com.sun.star.frame.Desktop', context)
    return office, desktop


def stop_office(office, desktop):
    try:
        desktop.terminate()
    except Exception:
        pass
    try:
        office.wait(15)
    except subprocess.TimeoutExpired:
        office.kill()
        office.wait()


def main(argv):
    workbook, expected_file, report_file = argv[1:4]
    with open(expected_file, encoding='utf-8') as f:
        expected = f.read().split('\n')
    if expected and expected[-1] == '':
        expected.pop()
    report = {'hint': None, 'rows': None, 'saw_change': False, 'error': None}
    workdir = tempfile.mkdtemp(prefix='glyphreel-calc-')
    office = desktop = None
    try:
        office, desktop = start_office(workdir)
        url = uno.systemPathToFileUrl(os.path.abspath(workbook))

        doc = desktop.loadComponentFromURL(url, '_blank', 0, (
            prop('MacroExecutionMode', NEVER_EXECUTE), prop('Hidden', True)))
        report['hint'] = doc.Sheets.getByIndex(0).getCellByPosition(0, 0).getString()
        doc.close(True)

        doc = desktop.loadComponentFromURL(url, '_blank', 0, (
            prop('MacroExecutionMode', ALWAYS_EXECUTE_NO_WARN), prop('Hidden', False)))
        sheet = doc.Sheets.getByIndex(0)
        deadline = time.monotonic() + PLAY_TIMEOUT_S
        while time.monotonic() < deadline:
            top = column_a_top(sheet, len(expected) + 1)
            if top[0] != report['hint']:
                report['saw_change'] = True
            if top[:len(expected)] == expected and top[len(expected)] == '':
                break
            time.sleep(POLL_S)
        report['rows'] = column_a(sheet)
        doc.close(True)
    except Exception as e:  # reported to the test, which fails with it
        report['error'] = '%s: %s' % (type(e).__name__, e)
    finally:
        if office is not None:
            stop_office(office, desktop)
        shutil.rmtree(workdir, ignore_errors=True)
    with open(report_file, 'w', encoding='utf-8') as f:
        json.dump(report, f, ensure_ascii=False)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
