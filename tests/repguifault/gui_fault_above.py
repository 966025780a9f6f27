"""The real program under an X server with a window manager (openbox): its GUI thread faults while another
program's window is active, and the report dialog that the helper process shows belongs to the program's
main window all the same (transient for it, with its window class) and stays above it when the user
clicks the frozen main window.

gui_fault_above.py PROGRAM PRELOAD [LANGUAGE]  -- with VDTEST_SHOTS set, a picture of the screen after
the click is kept there."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from guifaultrun import CAPTION_ERROR, Program, children, fail, place_catalogues, run_tool, wait_for

CAPTION_MAIN = 'Vexa Daxo Soft'
CAPTION_OTHER = 'Another program'


def root_windows(atom):
    """The window ids of a list property of the root window (bottom to top for the stacking list)."""
    text = run_tool(['xprop', '-root', atom])
    ids = text.split('#', 1)[1].split(',') if '#' in text else []
    return [int(w, 16) for w in (i.strip() for i in ids) if w.startswith('0x')]


def window_property(window, atom):
    return run_tool(['xprop', '-id', str(window), atom]).strip()


def client_of(caption, atom='_NET_WM_NAME'):
    """The managed client window with exactly this caption, or None."""
    for window in root_windows('_NET_CLIENT_LIST'):
        if window_property(window, atom).endswith('= "%s"' % caption):
            return window
    return None


def start_program(program_file, preload, folder, language):
    copy = os.path.join(folder, 'vexadaxo')
    shutil.copy2(program_file, copy)
    place_catalogues(program_file, folder, language)
    return Program(copy, folder, preload)


def active_window():
    ids = root_windows('_NET_ACTIVE_WINDOW')
    return ids[0] if ids else None


def activate_other_window():
    """Another program's window, active: the program's own windows have no keyboard at the fault."""
    other = subprocess.Popen(['xmessage', '-name', 'vdother', '-title', CAPTION_OTHER, 'Another program'],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = wait_for(lambda: client_of(CAPTION_OTHER, 'WM_NAME'), 20)
    if window is not None:
        run_tool(['xdotool', 'windowactivate', '--sync', str(window)])
    if window is None or not wait_for(lambda: active_window() == window, 20):
        other.kill()
        fail('the other window did not become active')
    return other


def check_dialog_above(program, language):
    # The managed windows only: the toolkit's hidden leader window bears the main window's caption too.
    # The main window has the keyboard once it is there (a window shown at start-up has gone by then).
    def main_active():
        main = client_of(CAPTION_MAIN)
        return main is not None and active_window() == main
    if not wait_for(main_active, 60):
        fail('the main window did not come on screen', program)
    seen = program.blurred
    other = activate_other_window()
    if not program.wait_focus(20, seen, lost=True):
        fail('the program did not see its window lose the keyboard', program)
    program.fault_now()
    if program.wait_fault(60) is None:
        fail('the program did not fault', program)
    dialog = wait_for(lambda: client_of(CAPTION_ERROR), 30)
    other.kill()
    other.wait(timeout=10)
    if dialog is None:
        fail('no report dialog', program)
    main = client_of(CAPTION_MAIN)  # the one on screen now (a window shown at start-up has gone)
    transient = window_property(dialog, 'WM_TRANSIENT_FOR')
    if not transient.endswith('# 0x%x' % main):
        clients = ['0x%x %s' % (w, window_property(w, '_NET_WM_NAME')) for w in root_windows('_NET_CLIENT_LIST')]
        fail('the dialog is not transient for the main window 0x%x: %s\n%s' % (main, transient, clients), program)
    if window_property(dialog, 'WM_CLASS') != window_property(main, 'WM_CLASS'):
        fail('the dialog carries another window class than the main window', program)

    # A click on the frozen main window: the dialog stays above it.
    run_tool(['xdotool', 'mousemove', '--window', str(main), '40', '60', 'click', '1'])

    def main_above():
        stacking = root_windows('_NET_CLIENT_LIST_STACKING')
        return main in stacking and dialog in stacking and stacking.index(main) > stacking.index(dialog)
    if wait_for(main_above, 2):
        fail('the main window came above the dialog after a click on it', program)
    folder = os.environ.get('VDTEST_SHOTS')
    if folder:
        from xshot import save_screen
        target = os.path.join(folder, 'dialog-above-%s.png' % language)
        if os.path.lexists(target):
            os.unlink(target)
        save_screen(target)


def main():
    program_file, preload = sys.argv[1], sys.argv[2]
    language = sys.argv[3] if len(sys.argv) > 3 else 'en'
    for tool in ('openbox', 'xdotool', 'xprop', 'xmessage'):
        if shutil.which(tool) is None:
            fail('%s is missing (scripts/install-deps.sh installs it)' % tool)
    folder = tempfile.mkdtemp(prefix='vdguifaultabove-')
    program = None
    try:
        program = start_program(program_file, preload, folder, language)
        check_dialog_above(program, language)
        for helper in children(program.process.pid):
            os.kill(helper, signal.SIGTERM)
        if program.wait_end(60) is None:
            fail('the program did not end after its report', program)
    finally:
        if program is not None:
            program.kill_everything()
        shutil.rmtree(folder, ignore_errors=True)
    print('1 passed, 0 failed')


main()
