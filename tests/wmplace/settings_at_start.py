"""The real program under Xvfb with openbox, with a settings file it cannot read or write back: a plain
warning box once the main window shows, the write's message in a plain box when the window is closed, no
exception report (no report dialog, nothing written below HOME) and one line on standard error.
   settings_at_start.py PROGRAM"""
import os
import subprocess
import sys
import tempfile
import time

NOBODY = 65534


def fail(message):
    sys.exit('FAILED: ' + message)


def tool(display, *arguments):
    try:
        result = subprocess.run(arguments, capture_output=True, text=True, timeout=10,
                                env=dict(os.environ, DISPLAY=display))
        return result.stdout if result.returncode == 0 else ''
    except subprocess.TimeoutExpired:
        return ''


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return result


def window(display, caption, kind):
    """A mapped client window with this caption and window type (NORMAL or DIALOG), else None."""
    clients = tool(display, 'xprop', '-root', '_NET_CLIENT_LIST').partition('#')[2]
    for wid in (w.strip() for w in clients.split(',') if w.strip()):
        if not tool(display, 'xprop', '-id', wid, '_NET_WM_NAME').rstrip().endswith('"%s"' % caption):
            continue
        if ('_NET_WM_WINDOW_TYPE_' + kind) not in tool(display, 'xprop', '-id', wid, '_NET_WM_WINDOW_TYPE'):
            continue
        if 'IsViewable' in tool(display, 'xwininfo', '-id', wid):
            return wid
    return None


def press(display, wid, key):
    tool(display, 'xdotool', 'windowactivate', '--sync', wid)
    tool(display, 'xdotool', 'key', '--clearmodifiers', key)


def make(kind, path):
    folder = os.path.dirname(path)
    if kind == 'fifo':
        os.mkfifo(path)
    elif kind == 'dangling link':
        os.symlink(os.path.join(folder, 'nothing.ini'), path)
    elif kind == 'read-only folder':
        os.chmod(folder, 0o555)
    elif kind == 'beyond the size limit':
        with open(path, 'wb') as file:
            file.truncate(64 * 1024 * 1024 + 1)  # sparse


def check(program, display, kind, unprivileged):
    with tempfile.TemporaryDirectory() as top:
        os.chmod(top, 0o777)
        home, windows = os.path.join(top, 'home'), os.path.join(top, 'windows')
        for folder in (home, windows):
            os.mkdir(folder)
            if unprivileged:
                os.chown(folder, NOBODY, NOBODY)
        path = os.path.join(windows, 'daxoconf.Ini')
        make(kind, path)
        environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM='xcb', HOME=home,
                           VEXADAXO_WINDIR=windows, VEXADAXO_REGISTRY=os.path.join(top, 'registry.ini'))
        drop = (lambda: (os.setgroups([]), os.setgid(NOBODY), os.setuid(NOBODY))) if unprivileged else None
        with open(os.path.join(top, 'stderr'), 'w+') as errors:
            process = subprocess.Popen([program], env=environment, cwd=top, stderr=errors,
                                       stdout=subprocess.DEVNULL, preexec_fn=drop)
            try:
                warning = wait_for(lambda: window(display, 'Warning', 'DIALOG'), 60)
                if not warning:
                    fail('%s: no warning at start' % kind)
                press(display, warning, 'Return')
                main = wait_for(lambda: window(display, 'Vexa Daxo Soft', 'NORMAL'), 20)
                if not main or not wait_for(lambda: not window(display, 'Warning', 'DIALOG'), 20):
                    fail('%s: the warning did not go' % kind)
                press(display, main, 'alt+F4')
                message = wait_for(lambda: window(display, 'Vexa Daxo Soft', 'DIALOG'), 20)
                if not message:
                    fail('%s: no message at close' % kind)
                if window(display, 'Error.', 'DIALOG'):
                    fail('%s: the exception report dialog came up' % kind)
                press(display, message, 'Return')
                process.wait(timeout=30)
            finally:
                if process.poll() is None:
                    process.kill()
                    process.wait()
            errors.seek(0)
            lines = [line for line in errors.read().splitlines() if path in line]
        written = [os.path.join(d, f) for d, _, files in os.walk(home) for f in files]
        os.chmod(windows, 0o755)
        print('%s: %d line(s) on standard error, %d file(s) below HOME' % (kind, len(lines), len(written)))
        if len(lines) != 1:
            fail('%s: %d lines on standard error name the file: %s' % (kind, len(lines), lines))
        if written:
            fail('%s: files written below HOME: %s' % (kind, written))


def main(program):
    # An X server of its own without an authority file: the read-only-folder case runs the program as an
    # unprivileged user, who could not read the private session's cookie (tests/support/xsession.py).
    read_end, write_end = os.pipe()
    processes = [subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1366x768x24',
                                   '-nolisten', 'tcp'], pass_fds=[write_end], stderr=subprocess.DEVNULL)]
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        display = ':' + numbers.readline().strip()
    try:
        processes.append(subprocess.Popen(['openbox', '--sm-disable'], env=dict(os.environ, DISPLAY=display),
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        if not wait_for(lambda: '_NET_SUPPORTING_WM_CHECK' in tool(display, 'xprop', '-root'), 20):
            fail('openbox did not come up')
        root = os.geteuid() == 0
        check(program, display, 'fifo', False)
        check(program, display, 'dangling link', False)
        check(program, display, 'beyond the size limit', False)
        # Root writes into a read-only folder: the program then runs as an unprivileged user, who cannot
        # reach a build below a folder closed to others (a private temporary folder).
        reachable = not root or subprocess.run(['setpriv', '--reuid=%d' % NOBODY, '--regid=%d' % NOBODY,
                                                '--clear-groups', 'test', '-x', program]).returncode == 0
        if reachable:
            check(program, display, 'read-only folder', root)
        else:
            print('read-only folder: skipped, the unprivileged user cannot reach %s' % program)
    finally:
        for process in reversed(processes):
            process.kill()
            process.wait()


main(os.path.abspath(sys.argv[1]))
print('PASSED')
