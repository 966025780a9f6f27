"""A private X display for a test: an Xvfb of its own (it picks a free display and says which through
-displayfd), optionally the openbox window manager on it, an authority cookie, and a folder of the test's
own for the authority file, the servers' logs and the test's temporary files, which nothing else cleans
while the test runs. Every X test starts its display through this file.

As a program:  xsession.py [--screen WxHxD] [--window-manager] -- COMMAND [ARGUMENT...]
runs COMMAND on the display (DISPLAY, XAUTHORITY and TMPDIR set) and ends with its exit code.

From Python:   with XSession((1280, 1024), window_manager=True) as x:
                   subprocess.run(..., env=x.environment())
"""
import argparse
import ctypes
import os
import secrets
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

START_SECONDS = 60  # how long the server and the window manager may take to come up on a busy machine


class XSessionError(Exception):
    pass


def _die_with_parent():
    """Run in each child before it starts: it gets SIGTERM when the launcher goes, however it goes."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _folder_base():
    """Where the private folder goes: the test's working folder (the build tree), else the system's."""
    for base in (os.environ.get('VD_XSESSION_DIR'), os.getcwd(), tempfile.gettempdir()):
        if base and os.access(base, os.W_OK | os.X_OK):
            return base
    raise XSessionError('no writable folder for the X session')


class XSession:
    def __init__(self, screen=(1280, 1024), depth=24, window_manager=False):
        self.screen = screen
        self.depth = depth
        self.window_manager = window_manager
        self.folder = None
        self.display = None
        self.authority = None
        self.temporary = None
        self._processes = []

    def environment(self, base=None):
        """The environment of a program on this display."""
        env = dict(os.environ if base is None else base)
        env.update(DISPLAY=self.display, XAUTHORITY=self.authority, TMPDIR=self.temporary)
        return env

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exception):
        self.close()

    def _start(self):
        self.folder = tempfile.mkdtemp(prefix='xsession-', dir=_folder_base())
        self.temporary = os.path.join(self.folder, 'tmp')
        os.mkdir(self.temporary, 0o700)
        self.authority = os.path.join(self.folder, 'Xauthority')
        cookie = secrets.token_hex(16)
        # The server takes every cookie of its file whatever display it names; clients look theirs up by
        # display, so the entry for the display the server picks is added once it is known.
        self._xauth('add', ':0', '.', cookie)
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.folder, 'xvfb.log'), 'wb')
        try:
            # -noreset: as a desktop's server, it does not reset when its last client leaves (it would
            # refuse connections meanwhile, and a program started again after its own end found none).
            server = subprocess.Popen(
                ['Xvfb', '-displayfd', str(write_end), '-screen', '0',
                 '%dx%dx%d' % (self.screen[0], self.screen[1], self.depth), '-nolisten', 'tcp', '-noreset',
                 '-auth', self.authority],
                pass_fds=[write_end], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_end)
            log.close()
        self._processes.append(server)
        try:
            number = self._read_display(read_end, server)
        finally:
            os.close(read_end)
        self.display = ':' + number
        self._xauth('add', self.display, '.', cookie)
        if self.window_manager:
            self._start_window_manager()

    def _read_display(self, read_end, server):
        deadline = time.monotonic() + START_SECONDS
        text = b''
        while not text.endswith(b'\n'):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_end], [], [], left)[0]:
                raise XSessionError('Xvfb named no display within %d s:\n%s' % (START_SECONDS, self._log('xvfb')))
            chunk = os.read(read_end, 64)
            if not chunk:
                raise XSessionError('Xvfb ended (%s) before naming a display:\n%s'
                                    % (server.wait(), self._log('xvfb')))
            text += chunk
        return text.decode().strip()

    def _start_window_manager(self):
        log = open(os.path.join(self.folder, 'openbox.log'), 'wb')
        try:
            self._processes.append(subprocess.Popen(
                ['openbox', '--sm-disable'], env=self.environment(), stdin=subprocess.DEVNULL, stdout=log,
                stderr=log, preexec_fn=_die_with_parent))
        finally:
            log.close()
        deadline = time.monotonic() + START_SECONDS
        while '_NET_SUPPORTING_WM_CHECK(WINDOW)' not in self._root_properties():
            if self._processes[-1].poll() is not None or time.monotonic() > deadline:
                raise XSessionError('openbox did not come up on %s:\n%s' % (self.display, self._log('openbox')))
            time.sleep(0.05)

    def _root_properties(self):
        try:
            return subprocess.run(['xprop', '-root'], env=self.environment(), capture_output=True, text=True,
                                  timeout=10).stdout
        except subprocess.TimeoutExpired:
            return ''

    def _xauth(self, *arguments):
        subprocess.run(['xauth', '-q', '-f', self.authority] + list(arguments), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def _log(self, name):
        try:
            with open(os.path.join(self.folder, name + '.log'), errors='replace') as log:
                return log.read()[-4000:]
        except OSError:
            return '(no log)'

    def close(self):
        """Ends the window manager, then the server, and removes the folder."""
        for process in reversed(self._processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self._processes = []
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--screen', default='1280x1024x24', help='WIDTHxHEIGHTxDEPTH')
    parser.add_argument('--window-manager', action='store_true', help='start openbox on the display')
    parser.add_argument('command', nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ['--'] else options.command
    if not command:
        parser.error('no command')
    width, height, depth = (int(v) for v in options.screen.split('x'))
    # The runner's timeout ends this launcher with SIGTERM: the session is closed on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        with XSession((width, height), depth, options.window_manager) as session:
            child = subprocess.Popen(command, env=session.environment(), preexec_fn=_die_with_parent)
            try:
                return child.wait()
            finally:
                if child.poll() is None:
                    child.terminate()
                    child.wait()
    except XSessionError as error:
        print('xsession: %s' % error, file=sys.stderr, flush=True)
        return 1


if __name__ == '__main__':
    sys.exit(main())
