"""The real program under a private X server (tests/support/xsession.py) faults on its GUI thread, with
reporter options that mail the report by the reporter's own SMTP client to a sink on 127.0.0.1, offer Send and Attach
Screenshot ticked, ask for the steps that led to the error and restart the program. The user presses
Restart in the report dialog and types the steps into the request dialog; then the mail must hold the
report with the steps and its General fields, and the screenshot; the program must restart, and nothing
of it may be left running.

gui_fault_send.py PROGRAM PRELOAD REWRITER [LANGUAGE]
VDTEST_SHOTS=FOLDER keeps pictures of the screen at each step there, and the mail (for looking at them)."""
import email.parser
import email.policy
import email.utils
import os
import shutil
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

from guifaultrun import (CAPTION_ERROR, Program, command_line, fail, place_catalogues, processes_of, run_tool,
                         wait_for, wait_window, window_id)

SCREEN = (1280, 1024)  # the screen the X server is given (CMakeLists.txt)
CAPTION_MAIN = 'Vexa Daxo Soft'  # the main window
CAPTION_REQUEST = 'Request'  # the steps dialog
CAPTION_SEND = 'Send.'  # the send-progress window
STEPS = 'Opened Find, pressed Search twice: crash 42'
RECIPIENT = 'service@localhost'
# General fields of the report that the stopped GUI thread cannot give, and what they must hold: the
# main window with the keyboard, some control of it, the screen (None: any text but an empty one).
GENERAL_FIELDS = {'3.1': 'TFormMain', '3.2': CAPTION_MAIN, '3.3': None, '3.4': None,
                  '4.9': '%d x %d, 24 bit' % SCREEN}


class Sink(socketserver.ThreadingTCPServer):
    """An SMTP sink on 127.0.0.1 that keeps every message it is given. It greets a client only once the
    gate opens (or its time is over), so that the send-progress window stays up long enough to be seen."""
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, gate_seconds):
        super().__init__(('127.0.0.1', 0), SinkHandler)
        self.messages = []
        self.commands = []
        self.gate = threading.Event()
        self.gate_seconds = gate_seconds


class SinkHandler(socketserver.StreamRequestHandler):
    def reply(self, text):
        self.wfile.write(text.encode('ascii') + b'\r\n')
        self.wfile.flush()

    def handle(self):
        self.server.gate.wait(self.server.gate_seconds)
        self.reply('220 sink ready')
        while True:
            line = self.rfile.readline(4096)
            if not line:
                return
            command = line.rstrip(b'\r\n').decode('latin-1')
            self.server.commands.append(command)
            verb = command.split(' ')[0].upper()
            if verb in ('HELO', 'EHLO', 'MAIL', 'RCPT', 'RSET', 'NOOP'):
                self.reply('250 ok')
            elif verb == 'DATA':
                self.reply('354 go ahead')
                lines = []
                while True:
                    data = self.rfile.readline(1 << 20)
                    if not data or data == b'.\r\n':
                        break
                    lines.append(data[1:] if data.startswith(b'.') else data)
                self.server.messages.append(b''.join(lines))
                self.reply('250 queued')
            elif verb == 'QUIT':
                self.reply('221 bye')
                return
            else:
                self.reply('500 unknown command')


def png_size(data):
    """Width and height of a PNG whose pixels are not all alike, or None for anything else."""
    if len(data) < 33 or data[:8] != b'\x89PNG\r\n\x1a\n' or data[12:16] != b'IHDR':
        return None
    pixels = b''
    position = 8
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


def frame_pixels(data):
    """The pixels of the focus frame's red in a palette PNG as the reporter writes it (filter 0 rows)."""
    position, palette, pixels, width = 8, b'', b'', 0
    while position + 8 <= len(data):
        length, kind = struct.unpack('>I4s', data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b'IHDR':
            width = struct.unpack('>I', body[:4])[0]
        elif kind == b'PLTE':
            palette = body
        elif kind == b'IDAT':
            pixels += body
        position += 12 + length
    red = {i for i in range(len(palette) // 3) if palette[3 * i:3 * i + 3] == b'\xff\x00\x00'}
    rows = zlib.decompress(pixels)
    return sum(1 for i, index in enumerate(rows) if i % (width + 1) != 0 and index in red)


def general_field(report, number):
    """The value of a numbered field of the report's General section ("3.1 Form Class : value")."""
    for line in report.splitlines():
        stripped = line.strip()
        if stripped.startswith(number + ' '):
            return stripped.partition(':')[2].strip()
    return None


class Shots:
    """With VDTEST_SHOTS set: pictures of the screen and the mail, kept for looking at them."""

    def __init__(self, language):
        self.folder = os.environ.get('VDTEST_SHOTS')
        self.language = language

    def _target(self, name):
        stem, extension = os.path.splitext(name)
        target = os.path.join(self.folder, '%s-%s%s' % (stem, self.language, extension))
        if os.path.lexists(target):
            os.unlink(target)
        return target

    def take(self, name, geometry=None):
        if self.folder:
            from xshot import save_screen
            time.sleep(0.5)  # a window just mapped may not have painted yet
            save_screen(self._target(name + '.png'))
            if geometry:
                self.keep(name + '.txt', geometry.encode())

    def keep(self, name, data):
        if self.folder:
            with open(self._target(name), 'xb') as out:
                out.write(data)


def press(window, keys, done):
    """Gives the window the keyboard and presses the keys (xdotool names) until done() holds: a window
    can be on screen a moment before it takes keys."""
    for attempt in range(3):
        run_tool(['xdotool', 'windowfocus', '--sync', window])
        run_tool(['xdotool', 'key'] + keys)
        result = wait_for(done, 5)
        if result:
            return result
    return None


def rewrite(rewriter, program_file, folder, port):
    return subprocess.run([rewriter, program_file, folder, 'vexadaxo', str(port), RECIPIENT, '1'],
                          capture_output=True, text=True, timeout=60)


def check_rewriter_refusals(rewriter, program_file, preload, port):
    """The rewriter writes only into a private folder, and only a program that carries options."""
    open_folder = tempfile.mkdtemp(prefix='vdguifaultopen-')
    try:
        os.chmod(open_folder, 0o755)
        if rewrite(rewriter, program_file, open_folder, port).returncode != 1 or os.listdir(open_folder):
            fail('the options were written into a folder that others can enter')
        os.chmod(open_folder, 0o700)
        if rewrite(rewriter, preload, open_folder, port).returncode != 1 or os.listdir(open_folder):
            fail('a file without stored options was taken for a program')
    finally:
        shutil.rmtree(open_folder, ignore_errors=True)


def start_program(program_file, preload, rewriter, folder, port, language):
    copy = os.path.join(folder, 'vexadaxo')
    result = rewrite(rewriter, program_file, folder, port)
    if result.returncode != 0 or not os.path.isfile(copy):
        fail('the options could not be rewritten: ' + result.stderr)
    # The program finds its message catalogues beside it.
    place_catalogues(program_file, folder, language)
    return Program(copy, folder, preload)


def answer_dialogs(program, shots):
    """Restart in the report dialog (Send and Attach Screenshot stay as the options tick them), then
    the steps typed into the request dialog and OK. Before the fault the main window gets the keyboard,
    as a user's would have it, so that the report has a form and a control to name."""
    main = wait_window(CAPTION_MAIN, 60)
    if main is None:
        fail('the main window did not come on screen', program)
    seen = program.focused
    run_tool(['xdotool', 'windowfocus', '--sync', main])
    if not program.wait_focus(30, seen):
        fail('the main window did not get the keyboard', program)
    program.fault_now()
    if program.wait_fault(30) is None:
        fail('the program did not fault', program)
    dialog = wait_window(CAPTION_ERROR, 20)
    if dialog is None:
        fail('no report dialog', program)
    shots.take('1-report')
    request = press(dialog, ['alt+r'], lambda: wait_window(CAPTION_REQUEST, 0))
    if request is None:
        fail('no request dialog for the steps after Restart', program)
    run_tool(['xdotool', 'windowfocus', '--sync', request])
    run_tool(['xdotool', 'type', '--delay', '10', STEPS])
    shots.take('2-request')
    if press(request, ['alt+o'], lambda: window_id(CAPTION_REQUEST) is None) is None:
        fail('the request dialog did not close with OK', program)


def wait_mail(program, sink, shots):
    """Waits for the mail, looking for the send-progress window meanwhile (the sink holds its greeting
    until the window is seen); whether the window was seen."""
    seen = False
    def mail_or_window():
        nonlocal seen
        if not seen:
            window = wait_window(CAPTION_SEND, 0)
            if window:
                seen = True
                shots.take('3-send', run_tool(['xwininfo', '-id', window]))
                sink.gate.set()
        return sink.messages
    if not wait_for(mail_or_window, 30, 0.01):
        fail('no mail reached the sink; it was told: %s' % sink.commands[-10:], program)
    return seen


def check_restart(program, folder):
    """The program ends after its report and is started again, in the folder it was started from."""
    code = program.wait_end(20)
    if code is None:
        fail('the program did not end after sending its report', program)
    if code != 1:
        fail('the program ended with %s instead of 1 after Restart' % code, program)
    if not wait_for(lambda: window_id(CAPTION_SEND) is None, 5):
        fail('the send-progress window stays after the program ended', program)
    def started_again():
        # The program itself, not one of its helpers (they run the same file with an argument).
        return [pid for pid in processes_of(program.file)
                if pid != program.process.pid and command_line(pid) == [program.file]]
    restarted = wait_for(started_again, 10, 0.1)
    if len(restarted) != 1:
        fail('not one program started again after Restart: %s' % restarted, program)
    if os.readlink('/proc/%d/cwd' % restarted[0]) != os.path.realpath(folder):
        fail('the program was started again in another folder')
    # The faulted program's helpers end by themselves.
    if not wait_for(lambda: processes_of(program.file) == restarted, 5, 0.1):
        fail('helpers of the faulted program are left: %s'
             % [command_line(pid) for pid in processes_of(program.file) if pid not in restarted])


def check_mail(raw, program):
    message = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(raw)
    if RECIPIENT not in message.get('To', ''):
        fail('the mail is addressed to %r' % message.get('To'))
    attachments = {}
    for part in message.walk():
        if not part.is_multipart() and part.get_filename():
            attachments[part.get_filename()] = part.get_payload(decode=True) or b''
    if sorted(attachments) != ['Screenshot.png', 'vexadaxo.olf']:
        fail('the mail carries %s instead of the report and the screenshot' % sorted(attachments))
    size = png_size(attachments['Screenshot.png'])
    if size != SCREEN:
        fail('the screenshot is %s, not a picture of the screen %s' % (size, SCREEN))
    # The helper took the picture: it still frames the control that had the focus (two nested frames).
    if frame_pixels(attachments['Screenshot.png']) < 4 * 20:
        fail('the screenshot has no red frame around the focused control')
    report = attachments['vexadaxo.olf'].decode('latin-1')
    if report.count('OstrelLog ') != 1 or 'Access violation' not in report:
        fail('the report in the mail is not the one of the fault')
    if report.count(STEPS) != 1:
        fail('the report in the mail does not hold the typed steps once')
    for number, expected in GENERAL_FIELDS.items():
        value = general_field(report, number)
        if not value or (expected is not None and value != expected):
            fail('the report\'s field %s is %r instead of %r' % (number, value, expected or 'a text'))
    date = general_field(report, '2.1')
    try:
        late = email.utils.parsedate_to_datetime(date).timestamp() - program.fault_wall
    except (TypeError, ValueError):
        fail('the report\'s date %r is no date' % date)
    # The date has whole seconds: taken at the fault, it lies within the second before it was told.
    if not -1.5 <= late <= 0.5:
        fail('the report\'s date is %.1f s after the fault' % late)


def main():
    program_file, preload, rewriter = sys.argv[1], sys.argv[2], sys.argv[3]
    language = sys.argv[4] if len(sys.argv) > 4 else 'en'
    if shutil.which('xdotool') is None:
        fail('xdotool is missing (scripts/install-deps.sh installs it)')
    shots = Shots(language)
    folder = tempfile.mkdtemp(prefix='vdguifaultsend-')
    sink = Sink(10)
    threading.Thread(target=sink.serve_forever, daemon=True).start()
    program = None
    try:
        port = sink.server_address[1]
        check_rewriter_refusals(rewriter, program_file, preload, port)
        program = start_program(program_file, preload, rewriter, folder, port, language)
        answer_dialogs(program, shots)
        if not wait_mail(program, sink, shots):
            fail('no send-progress window while the report was sent', program)
        check_restart(program, folder)
        if len(sink.messages) != 1:
            fail('the sink got %d mails instead of one' % len(sink.messages))
        shots.keep('mail.eml', sink.messages[0])
        check_mail(sink.messages[0], program)
        with open(os.path.join(folder, 'vexadaxo.olf'), 'rb') as log:
            if log.read().decode('latin-1').count(STEPS) != 1:
                fail('the log beside the program does not hold the typed steps once')
        program.kill_everything()
        if wait_for(lambda: not processes_of(program.file), 5, 0.1) is not True:
            fail('processes of the program are left: %s' % processes_of(program.file))
        print('1 passed, 0 failed')
    finally:
        if program is not None:
            program.kill_everything()
        sink.shutdown()
        sink.server_close()
        shutil.rmtree(folder, ignore_errors=True)


main()
