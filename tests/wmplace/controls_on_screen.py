"""The program's windows under Xvfb with openbox on a small screen at high scale factors: every control of
the main window and of About can be brought onto the screen (the window tests of test_ui that look at
this, run against a real window manager).   controls_on_screen.py TEST_UI"""
import os
import subprocess
import sys
import time

CASES = [((1366, 768), 1.5), ((1366, 768), 2)]
# Each in a program of its own: the main window's first show, before any frame is known, is part of it.
TESTS = ['Languages/ScreenFit.*', 'WindowPlacement.Dialog*']


def x_tool_answers(display, *arguments):
    try:
        return subprocess.run(arguments, capture_output=True, text=True, timeout=10,
                              env=dict(os.environ, DISPLAY=display)).stdout
    except subprocess.TimeoutExpired:
        return ''


def check(test_ui, size, scale):
    read_end, write_end = os.pipe()
    processes = [subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % size,
                                   '-nolisten', 'tcp'], pass_fds=[write_end], stderr=subprocess.DEVNULL)]
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = ':' + numbers.readline().strip()
    try:
        processes.append(subprocess.Popen(['openbox', '--sm-disable'], env=dict(os.environ, DISPLAY=display),
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 20
        while '_NET_SUPPORTING_WM_CHECK' not in x_tool_answers(display, 'xprop', '-root'):
            if time.monotonic() > deadline:
                sys.exit('FAILED: openbox did not come up')
            time.sleep(0.3)
        environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM='xcb', QT_SCALE_FACTOR=str(scale))
        for tests in TESTS:
            result = subprocess.run([test_ui, '--gtest_filter=' + tests], env=environment, timeout=180)
            if result.returncode != 0:
                sys.exit('FAILED: %s at %dx%d at scale %s' % ((tests,) + size + (scale,)))
    finally:
        for process in reversed(processes):
            process.kill()
            process.wait()


for case in CASES:
    check(os.path.abspath(sys.argv[1]), *case)
print('PASSED')
