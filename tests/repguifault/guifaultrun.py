"""What the GUI-fault tests share: the real program started under a private X server
(tests/support/xsession.py) with the fault library preloaded, its standard error kept, the window list read, and every wait bounded."""
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

TOOL_SECONDS = 10  # no X tool may take longer than this
CAPTION_ERROR = 'Error.'  # the report dialog's caption


def fail(message, program=None):
    if program is not None:
        message += '\n--- tail of the program\'s standard error ---\n' + program.tail()
    print('FAILED:', message, flush=True)
    sys.exit(1)


def run_tool(arguments):
    """Runs an X tool (xwininfo, xdotool); its output, or '' when it failed or took too long."""
    try:
        result = subprocess.run(arguments, capture_output=True, text=True, timeout=TOOL_SECONDS)
    except subprocess.TimeoutExpired:
        return ''
    return result.stdout if result.returncode == 0 else ''


def windows():
    return run_tool(['xwininfo', '-root', '-tree'])


def window_id(caption):
    """The id of a window with exactly this caption in the window list, or None."""
    quoted = ' "%s"' % caption
    for line in windows().splitlines():
        fields = line.strip()
        if fields.startswith('0x') and quoted + ':' in fields:
            return fields.split()[0]
    return None


def viewable(window):
    return 'Map State: IsViewable' in run_tool(['xwininfo', '-id', window])


def wait_for(condition, seconds, step=0.02):
    """Calls condition until it gives something true or the time is over; its last result."""
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(step)


def wait_window(caption, seconds):
    """The id of the window with this caption once it is on screen, or None after the time."""
    def shown():
        window = window_id(caption)
        return window if window is not None and viewable(window) else None
    return wait_for(shown, seconds)


def children(pid):
    result = subprocess.run(['pgrep', '-P', str(pid)], capture_output=True, text=True, timeout=TOOL_SECONDS)
    return [int(p) for p in result.stdout.split()]


def processes_of(program_file):
    """The processes running this very program file (the copy in the test's own folder)."""
    found = []
    target = os.path.realpath(program_file)
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            if os.readlink('/proc/%s/exe' % entry) == target:
                found.append(int(entry))
        except OSError:
            pass  # gone, or not ours to read
    return found


def command_line(pid):
    """The arguments a process was started with, or None when it is gone."""
    try:
        with open('/proc/%d/cmdline' % pid, 'rb') as source:
            return source.read().decode('utf-8', 'replace').split('\0')[:-1]
    except OSError:
        return None


def kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def place_catalogues(program_file, folder, language):
    """Beside the program's copy in folder: its message catalogues, and the language chosen."""
    shutil.copytree(os.path.join(os.path.dirname(program_file), 'locale'), os.path.join(folder, 'locale'))
    if language != 'en':
        with open(os.path.join(folder, 'registry.ini'), 'x') as registry:
            registry.write('[HKEY_LOCAL_MACHINE\\Software\\Korvane Devavuru\\Vexa Daxo Soft]\n'
                           'lang=%s\n' % language)


class Program:
    """The program file started with the fault library preloaded; its GUI thread faults when fault_now()
    is called. Standard error is read as it comes, and the moment of the fault is taken from it."""

    def __init__(self, program_file, folder, preload, extra_env=None):
        self.file = program_file
        trigger, self.trigger = os.pipe()
        env = dict(os.environ)
        env.update({
            'HOME': os.path.join(folder, 'home'),
            'XDG_CONFIG_HOME': os.path.join(folder, 'config'),
            'VEXADAXO_REGISTRY': os.path.join(folder, 'registry.ini'),
            'LD_PRELOAD': preload,
            'VDTEST_GUI_FAULT_FD': str(trigger),
            'QT_QPA_PLATFORM': 'xcb',
        })
        env.update(extra_env or {})
        os.makedirs(env['HOME'], exist_ok=True)
        self.env = env
        self.lines = []
        self.focused = 0  # how often a window of the program got the keyboard
        self.blurred = 0  # how often the program's windows lost it
        self.fault = []
        self.fault_wall = None  # the wall-clock time at which the fault was told
        self.process = subprocess.Popen([program_file], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, text=True, errors='replace', pass_fds=(trigger,))
        os.close(trigger)
        self.reader = threading.Thread(target=self._read_errors, daemon=True)
        self.reader.start()

    def _read_errors(self):
        for line in self.process.stderr:
            self.lines.append(line)
            if line.startswith('GUI FOCUS'):
                self.focused += 1
            if line.startswith('GUI BLUR'):
                self.blurred += 1
            if line.startswith('GUI FAULT '):
                self.fault_wall = time.time()
                self.fault.append(int(line.split()[2]))

    def wait_focus(self, seconds, seen=0, lost=False):
        """Whether a window of the program got the keyboard (lost: the program's windows lost it) more than
        seen times within the time."""
        def count():
            return self.blurred if lost else self.focused
        return wait_for(lambda: count() > seen or self.process.poll() is not None, seconds, 0.005) \
            and count() > seen

    def fault_now(self):
        """Makes the GUI thread fault (it takes the byte when it next serves its events)."""
        os.write(self.trigger, b'!')

    def tail(self):
        return ''.join(self.lines)[-2000:]

    def wait_fault(self, seconds):
        """The fault's moment (CLOCK_MONOTONIC nanoseconds), or None."""
        wait_for(lambda: self.fault or self.process.poll() is not None, seconds, 0.005)
        return self.fault[0] if self.fault else None

    def wait_end(self, seconds):
        """The exit status, or None when the program still runs after the time."""
        try:
            code = self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None
        self.reader.join(timeout=5)
        return code

    def kill_everything(self):
        """Ends the program and whatever else runs its file (helpers, a restarted program)."""
        if self.trigger is not None:
            os.close(self.trigger)
            self.trigger = None
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        kill_all(processes_of(self.file))
