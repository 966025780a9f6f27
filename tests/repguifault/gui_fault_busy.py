"""The real program under an X server (a private X session,
tests/support/xsession.py): a worker thread faults while the GUI thread is busy
for 12 s, while the GUI thread waits for that very worker, and while it is free. The report gets on
meanwhile (it waits for the GUI thread only within its bound, then goes on without it): its dialog comes,
and after it the report lands in the log and the fault ends the program. No report is given up. One whose
GUI thread stands still inside the report's dialog (it waits for a lock the faulting worker holds) is
given up with its line.

gui_fault_busy.py PROGRAM PRELOAD"""
import os
import shutil
import signal
import sys
import tempfile
import time

from guifaultrun import CAPTION_ERROR, Program, fail, run_tool, wait_for, wait_window, window_id

CAPTION_MAIN = 'Vexa Daxo Soft'
USER_SECONDS = 7  # beyond the 5 s for which a report may stand still


def one_run(program_file, preload, mode):
    folder = tempfile.mkdtemp(prefix='vdguifaultbusy-')
    program = None
    try:
        copy = os.path.join(folder, 'vexadaxo')
        shutil.copy2(program_file, copy)
        program = Program(copy, folder, preload, {'VDTEST_GUI_FAULT_MODE': mode})
        if wait_window(CAPTION_MAIN, 60) is None:
            fail('%s: the main window did not come on screen' % mode, program)
        program.fault_now()
        if program.wait_fault(60) is None:
            fail('%s: the worker did not fault' % mode, program)
        dialog = wait_window(CAPTION_ERROR, 60)
        if dialog is None:
            fail('%s: no report dialog' % mode, program)
        # The user takes longer than a report may stand still before answering: waiting for the user is
        # no standstill. Then OK in the dialog, from the program or its helper: the report goes on to
        # the log.
        time.sleep(USER_SECONDS)
        for attempt in range(5):
            run_tool(['xdotool', 'windowfocus', '--sync', dialog])
            run_tool(['xdotool', 'key', 'alt+o'])
            if wait_for(lambda: window_id(CAPTION_ERROR) is None or program.process.poll() is not None, 5):
                break
        code = program.wait_end(60)
        if code is None:
            fail('%s: the program did not end after its report' % mode, program)
        if code != -signal.SIGSEGV:
            fail('%s: the program ended with %d instead of the fault' % (mode, code), program)
        if 'abandoned' in program.tail():
            fail('%s: the report was given up' % mode, program)
        log_file = os.path.join(folder, 'vexadaxo.olf')
        if not os.path.exists(log_file):
            fail('%s: no log beside the program' % mode, program)
        with open(log_file, 'rb') as log:
            text = log.read().decode('latin-1')
        if text.count('OstrelLog ') != 1 or 'Access violation' not in text:
            fail('%s: the log does not hold the one report of the fault' % mode)
    finally:
        if program is not None:
            program.kill_everything()
        shutil.rmtree(folder, ignore_errors=True)


def stuck_run(program_file, preload):
    """The worker faults holding a lock of the program's; while the report's dialog is on screen the GUI
    thread takes that lock and stands still: nobody can answer the dialog any more, and the report that
    waits for it is given up with its line, as any report that stands still."""
    mode = 'worker-lock'
    folder = tempfile.mkdtemp(prefix='vdguifaultbusy-')
    program = None
    try:
        copy = os.path.join(folder, 'vexadaxo')
        shutil.copy2(program_file, copy)
        program = Program(copy, folder, preload, {'VDTEST_GUI_FAULT_MODE': mode})
        if wait_window(CAPTION_MAIN, 60) is None:
            fail('%s: the main window did not come on screen' % mode, program)
        program.fault_now()
        if program.wait_fault(60) is None:
            fail('%s: the worker did not fault' % mode, program)
        if wait_window(CAPTION_ERROR, 60) is None:
            fail('%s: no report dialog' % mode, program)
        program.fault_now()  # the GUI thread now waits for the faulting worker's lock
        code = program.wait_end(60)
        if code is None:
            fail('%s: the program still runs with its GUI thread standing still' % mode, program)
        if code != -signal.SIGSEGV:
            fail('%s: the program ended with %d instead of the fault' % (mode, code), program)
        if 'the exception report made no progress and was abandoned' not in program.tail():
            fail('%s: no line that the report was given up' % mode, program)
    finally:
        if program is not None:
            program.kill_everything()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    program, preload = sys.argv[1], sys.argv[2]
    if shutil.which('xdotool') is None:
        fail('xdotool is missing (scripts/install-deps.sh installs it)')
    # worker-lock: the GUI thread is free, and shows the dialog itself while its user takes his time.
    for mode in ('worker-busy', 'worker-join', 'worker-lock'):
        one_run(program, preload, mode)
        print('%s: report completed' % mode, flush=True)
    stuck_run(program, preload)
    print('worker-lock: report given up', flush=True)
    print('1 passed, 0 failed')


main()
