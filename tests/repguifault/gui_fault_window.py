"""The real program under an X server with a window manager (openbox), with reporter options that take a
picture of the program's window only (SendFlags 0x20) and mail the report to a mail server that refuses
it, keeping the unsent report beside the log. Its GUI thread faults while another program's window is
active. The user confirms the report dialog and the steps dialog; the failed mail's "Error." box must come
on screen while the send-progress window is up (from the helper process, as the GUI thread stands
still) and not go to standard error, and the
kept report's screenshot must be the program's main window, not the screen with the other program on it.

gui_fault_window.py PROGRAM PRELOAD REWRITER"""
import glob
import os
import shutil
import socket
import struct
import subprocess
import sys
import tarfile
import tempfile
import threading
import zlib

from guifaultrun import (CAPTION_ERROR, Program, fail, place_catalogues, run_tool, wait_for, wait_window,
                         window_id)

SCREEN = (1280, 1024)  # the screen its X session is given (CMakeLists.txt)
CAPTION_MAIN = 'Vexa Daxo Soft'
CAPTION_OTHER = 'Another program'
CAPTION_REQUEST = 'Request'
CAPTION_SEND = 'Send.'
SEND_WINDOW_ONLY = 0x20  # SendFlags: the program's window, not the screen
KEEP_UNSENT = 0x40  # ProcessingFlags: a report that could not be sent is kept beside the log


def root_windows(atom):
    """The window ids of a list property of the root window."""
    text = run_tool(['xprop', '-root', atom])
    ids = text.split('#', 1)[1].split(',') if '#' in text else []
    return [int(w, 16) for w in (i.strip() for i in ids) if w.startswith('0x')]


def client_of(caption, atom='_NET_WM_NAME'):
    """The managed client window with exactly this caption, or None."""
    for window in root_windows('_NET_CLIENT_LIST'):
        if run_tool(['xprop', '-id', str(window), atom]).strip().endswith('= "%s"' % caption):
            return window
    return None


def active_window():
    ids = root_windows('_NET_ACTIVE_WINDOW')
    return ids[0] if ids else None


def frame_size(window):
    """Width and height of the window with the frame the window manager gave it, or None."""
    extents = run_tool(['xprop', '-id', str(window), '_NET_FRAME_EXTENTS']).partition('=')[2]
    info = dict(line.strip().partition(':')[::2] for line in run_tool(['xwininfo', '-id', str(window)]).splitlines())
    if not extents or 'Width' not in info:
        return None
    left, right, top, bottom = (int(v) for v in extents.split(','))
    return int(info['Width']) + left + right, int(info['Height']) + top + bottom


class RefusingServer:
    """A mail server on 127.0.0.1 that refuses its service: once the gate opens (the test saw the
    send-progress window, while which a failed mail's box shows) or its time is over, it greets every
    client with 554 and closes."""

    def __init__(self, gate_seconds):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(('127.0.0.1', 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.gate = threading.Event()
        self.gate_seconds = gate_seconds
        self.clients = 0
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return  # closed
            self.clients += 1
            with client:
                self.gate.wait(self.gate_seconds)
                try:
                    client.sendall(b'554 no mail service here\r\n')
                except OSError:
                    pass

    def close(self):
        self.listener.close()


def png_size(data):
    """Width and height of a PNG whose pixels are not all alike, or None for anything else."""
    if len(data) < 33 or data[:8] != b'\x89PNG\r\n\x1a\n' or data[12:16] != b'IHDR':
        return None
    pixels, position = b'', 8
    while position + 8 <= len(data):
        length, kind = struct.unpack('>I4s', data[position:position + 8])
        if position + 12 + length > len(data):
            return None
        if kind == b'IDAT':
            pixels += data[position + 8:position + 8 + length]
        position += 12 + length
    try:
        pixels = zlib.decompress(pixels)
    except zlib.error:
        return None
    if len(set(pixels)) < 3:  # filter bytes and one colour: a blank picture
        return None
    return struct.unpack('>II', data[16:24])


def press(window, keys, done):
    """Gives the window the keyboard and presses the keys until done() holds."""
    for attempt in range(3):
        run_tool(['xdotool', 'windowfocus', '--sync', str(window)])
        run_tool(['xdotool', 'key'] + keys)
        result = wait_for(done, 5)
        if result:
            return result
    return None


def start_program(program_file, preload, rewriter, folder, port):
    copy = os.path.join(folder, 'vexadaxo')
    result = subprocess.run([rewriter, program_file, folder, 'vexadaxo', str(port), 'service@localhost',
                             '0', str(SEND_WINDOW_ONLY), str(KEEP_UNSENT)],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0 or not os.path.isfile(copy):
        fail('the options could not be rewritten: ' + result.stderr)
    place_catalogues(program_file, folder, 'en')
    return Program(copy, folder, preload)


def fault_behind_another_window(program):
    """The main window gets the keyboard, then another program's window; then the GUI thread faults. The
    main window's frame size."""
    def main_active():
        main = client_of(CAPTION_MAIN)
        return main if main is not None and active_window() == main else None
    main = wait_for(main_active, 60)
    if main is None:
        fail('the main window did not come on screen', program)
    size = frame_size(main)
    if size is None:
        fail('the main window has no frame', program)
    seen = program.blurred
    other = subprocess.Popen(['xmessage', '-name', 'vdother', '-title', CAPTION_OTHER, 'Another program'],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = wait_for(lambda: client_of(CAPTION_OTHER, 'WM_NAME'), 20)
    if window is not None:
        run_tool(['xdotool', 'windowactivate', '--sync', str(window)])
    if window is None or not wait_for(lambda: active_window() == window, 20):
        other.kill()
        fail('the other window did not become active', program)
    if not program.wait_focus(20, seen, lost=True):
        other.kill()
        fail('the program did not see its window lose the keyboard', program)
    program.fault_now()
    if program.wait_fault(60) is None:
        other.kill()
        fail('the program did not fault', program)
    return size, other


def answer_dialogs(program, server):
    """OK in the report dialog, OK in the steps dialog, then, once the send-progress window is up, the
    server refuses and the failed mail's box comes: OK there too."""
    dialog = wait_window(CAPTION_ERROR, 30)
    if dialog is None:
        fail('no report dialog', program)
    request = press(dialog, ['Return'], lambda: wait_window(CAPTION_REQUEST, 0))
    if request is None:
        fail('no request dialog for the steps after OK', program)
    if press(request, ['alt+o'], lambda: window_id(CAPTION_REQUEST) is None) is None:
        fail('the request dialog did not close with OK', program)
    # The report dialog is gone: the next window of that caption is the box (it may even get the
    # dialog's window id, as the X server hands a finished helper's ids out again).
    if not wait_for(lambda: window_id(CAPTION_ERROR) is None, 20):
        fail('the report dialog stays after OK', program)

    if wait_window(CAPTION_SEND, 60) is None:
        fail('no send-progress window', program)
    server.gate.set()

    box = wait_window(CAPTION_ERROR, 30)
    if box is None:
        fail('the failed mail showed no "Error." box; the windows:\n' + run_tool(['xwininfo', '-root', '-tree']), program)
    if press(box, ['Return'], lambda: window_id(CAPTION_ERROR) is None) is None:
        fail('the "Error." box did not close with Return', program)


def kept_screenshot(folder):
    kept = glob.glob(os.path.join(folder, 'CompressFiles*.tgz'))
    if len(kept) != 1:
        fail('not one unsent report kept beside the log: %s' % os.listdir(folder))
    with tarfile.open(kept[0], 'r:gz') as archive:
        names = archive.getnames()
        if 'Screenshot.png' not in names:
            fail('the kept report holds no screenshot: %s' % names)
        return archive.extractfile('Screenshot.png').read()


def main():
    program_file, preload, rewriter = sys.argv[1], sys.argv[2], sys.argv[3]
    for tool in ('openbox', 'xdotool', 'xprop', 'xmessage', 'xwininfo'):
        if shutil.which(tool) is None:
            fail('%s is missing (scripts/install-deps.sh installs it)' % tool)
    folder = tempfile.mkdtemp(prefix='vdguifaultwindow-')
    server = RefusingServer(60)
    program = other = None
    try:
        program = start_program(program_file, preload, rewriter, folder, server.port)
        size, other = fault_behind_another_window(program)
        answer_dialogs(program, server)
        if program.wait_end(60) is None:
            fail('the program did not end after its report', program)
        if any(line.startswith(CAPTION_ERROR + ':') for line in program.lines):
            fail('the failed mail\'s box went to standard error', program)
        picture = png_size(kept_screenshot(folder))
        if picture != size:
            fail('the screenshot is %s, not the main window\'s frame %s (the screen is %s)'
                 % (picture, size, SCREEN), program)
    finally:
        if other is not None:
            other.kill()
            other.wait(timeout=10)
        if program is not None:
            program.kill_everything()
        server.close()
        shutil.rmtree(folder, ignore_errors=True)
    print('1 passed, 0 failed')


main()
