"""The program's windows under Xvfb with openbox on a small screen at high scale factors: every control of
the main window and of About can be brought onto the screen (the window tests of test_ui that look at
this, run against a real window manager).   controls_on_screen.py TEST_UI"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from xsession import XSession, XSessionError  # noqa: E402

CASES = [((1366, 768), 1.5), ((1366, 768), 2)]
# Each in a program of its own: the main window's first show, before any frame is known, is part of it.
TESTS = ['Languages/ScreenFit.*', 'WindowPlacement.Dialog*']


def check(test_ui, size, scale):
    try:
        with XSession(size, window_manager=True) as session:
            environment = dict(session.environment(), QT_QPA_PLATFORM='xcb', QT_SCALE_FACTOR=str(scale))
            for tests in TESTS:
                result = subprocess.run([test_ui, '--gtest_filter=' + tests], env=environment, timeout=180)
                if result.returncode != 0:
                    sys.exit('FAILED: %s at %dx%d at scale %s' % ((tests,) + size + (scale,)))
    except XSessionError as error:
        sys.exit('FAILED: %s' % error)


for case in CASES:
    check(os.path.abspath(sys.argv[1]), *case)
print('PASSED')
