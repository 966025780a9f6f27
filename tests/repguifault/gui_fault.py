"""The real program under a private X server (tests/support/xsession.py): its GUI thread faults inside a
preloaded library; the report dialog must come up from the helper process, and after it the report must land in
the log beside the program, named after the program.

gui_fault.py PROGRAM PRELOAD [RUNS]  -- prints each run's time from the fault to the dialog on screen,
and with several runs their median (the benchmark uses that)."""
import os
import shutil
import signal
import statistics
import sys
import tempfile
import time

from guifaultrun import CAPTION_ERROR, Program, children, fail, wait_for, wait_window, window_id

CAPTION_MAIN = 'Vexa Daxo Soft'


def one_run(program_file, preload):
    folder = tempfile.mkdtemp(prefix='vdguifault-')
    program = None
    try:
        copy = os.path.join(folder, 'vexadaxo')
        shutil.copy2(program_file, copy)
        program = Program(copy, folder, preload)
        if wait_window(CAPTION_MAIN, 60) is None:
            fail('the main window did not come on screen', program)
        program.fault_now()
        fault = program.wait_fault(60)
        if fault is None:
            fail('the program did not fault', program)
        shown = None
        if wait_for(lambda: window_id(CAPTION_ERROR), 30, 0.005):
            shown = time.monotonic_ns()
        if shown is None:
            fail('no report dialog', program)
        # Nobody answers the dialog: its helper goes, and the report goes on to the log.
        for helper in children(program.process.pid):
            os.kill(helper, signal.SIGTERM)
        code = program.wait_end(60)
        if code is None:
            fail('the program did not end after its report', program)
        if code != -signal.SIGSEGV:
            fail('the program ended with %d instead of the fault' % code, program)
        logs = sorted(name for name in os.listdir(folder) if name.endswith('.olf'))
        if logs != ['vexadaxo.olf']:
            fail('the log is not the program\'s beside it: %s' % logs)
        with open(os.path.join(folder, 'vexadaxo.olf'), 'rb') as log:
            text = log.read().decode('latin-1')
        if text.count('OstrelLog ') != 1 or 'Access violation' not in text:
            fail('the log does not hold the one report of the fault')
        if os.path.exists(os.path.join(folder, 'home', 'OstrelLog')):
            fail('a log went to the fallback folder')
        return (shown - fault) / 1e6
    finally:
        if program is not None:
            program.kill_everything()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    program, preload = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    times = []
    for run in range(runs):
        times.append(one_run(program, preload))
        print('GUI-thread fault to dialog on screen: %.0f ms' % times[-1], flush=True)
    if runs > 1:
        print('GUI-thread fault to dialog on screen: median %.0f ms of %d runs (goal: 200 ms)'
              % (statistics.median(times), runs))
    print('1 passed, 0 failed')


main()
