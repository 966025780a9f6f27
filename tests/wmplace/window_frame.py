"""The real program under an X server with a window manager (openbox), at screen sizes and scale factors
where its main window is taller than the screen: the window manager's frame, read from the X server, has
its title bar on the screen and the window as far up as it goes, so that as much of the status bar as the
screen allows is visible.

window_frame.py PROGRAM"""
import os
import signal
import subprocess
import sys
import tempfile
import time

TOOL_SECONDS = 10
CAPTION_MAIN = 'Vexa Daxo Soft'
MAIN_CLIENT_WIDTH = 696  # at scale 1
CASES = [((1920, 1080), '2'), ((1366, 768), '1.5'), ((1280, 1024), '1')]


def fail(message):
    print('FAILED:', message, flush=True)
    sys.exit(1)


def run_tool(display, arguments):
    try:
        result = subprocess.run(arguments, capture_output=True, text=True, timeout=TOOL_SECONDS,
                                env=dict(os.environ, DISPLAY=display))
    except subprocess.TimeoutExpired:
        return ''
    return result.stdout if result.returncode == 0 else ''


def wait_for(condition, seconds, step=0.05):
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(step)


def start_server(width, height):
    read_end, write_end = os.pipe()
    server = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % (width, height),
                               '-nolisten', 'tcp'], pass_fds=[write_end],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    if not number:
        server.kill()
        fail('Xvfb did not start')
    return server, ':' + number


def frame_of(display, caption, client_width):
    """(x, y, width, height) of the frame around the managed client with this caption and width (the
    splash bears the caption too), once the window manager has said how large the frame is; None before."""
    clients = run_tool(display, ['xprop', '-root', '_NET_CLIENT_LIST'])
    ids = clients.split('#', 1)[1].split(',') if '#' in clients else []
    for window in (i.strip() for i in ids):
        if not run_tool(display, ['xprop', '-id', window, '_NET_WM_NAME']).strip().endswith('= "%s"' % caption):
            continue
        extents = run_tool(display, ['xprop', '-id', window, '_NET_FRAME_EXTENTS'])
        info = run_tool(display, ['xwininfo', '-id', window])
        if '=' not in extents or 'IsViewable' not in info:
            continue
        left, right, top, bottom = (int(v) for v in extents.split('=', 1)[1].split(','))
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(':')
            values[key] = value.strip()
        x, y = int(values['Absolute upper-left X']), int(values['Absolute upper-left Y'])
        width, height = int(values['Width']), int(values['Height'])
        if abs(width - client_width) > 1:
            continue
        return (x - left, y - top, width + left + right, height + top + bottom)
    return None


def check(program, size, scale):
    server, display = start_server(*size)
    manager = program_process = None
    try:
        manager = subprocess.Popen(['openbox', '--sm-disable'], env=dict(os.environ, DISPLAY=display),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: '_NET_SUPPORTING_WM_CHECK(WINDOW)' in run_tool(display, ['xprop', '-root']), 20):
            fail('openbox did not come up')
        with tempfile.TemporaryDirectory() as folder:
            registry = os.path.join(folder, 'registry.ini')
            with open(registry, 'w') as f:
                f.write('[HKEY_LOCAL_MACHINE\\Software\\Korvane Devavuru\\Vexa Daxo Soft]\nlang=en_US\n')
            environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM='xcb', QT_SCALE_FACTOR=scale,
                               VEXADAXO_WINDIR=folder, VEXADAXO_REGISTRY=registry)
            program_process = subprocess.Popen([os.path.abspath(program)], env=environment, cwd=folder,
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # The frame may move once more after it is first known: wait until it settles.
            last = [None]

            def settled():
                now = frame_of(display, CAPTION_MAIN, round(MAIN_CLIENT_WIDTH * float(scale)))
                stable = now is not None and now == last[0]
                last[0] = now
                return now if stable else None
            frame = wait_for(settled, 60, step=0.3)
            if frame is None:
                fail('%dx%d at scale %s: the main window did not come on screen (last frame %s)'
                     % (size[0], size[1], scale, last[0]))
            x, y, width, height = frame
            expected_y = max(0, (size[1] - height) // 2)
            expected_x = max(0, (size[0] - width) // 2)
            print('%dx%d at scale %s: frame %dx%d at %d,%d' % (size[0], size[1], scale, width, height, x, y))
            # Centred, or at the top and left edge when larger; a pixel of rounding at a fractional scale.
            if y < 0 or abs(y - expected_y) > 2:
                fail('%dx%d at scale %s: the frame is at y %d, expected %d' % (size[0], size[1], scale, y,
                                                                                 expected_y))
            if x < 0 or abs(x - expected_x) > 2:
                fail('%dx%d at scale %s: the frame is at x %d, expected %d' % (size[0], size[1], scale, x,
                                                                                 expected_x))
    finally:
        for process in (program_process, manager, server):
            if process is not None and process.poll() is None:
                process.send_signal(signal.SIGKILL)
                process.wait()


def main():
    if len(sys.argv) != 2:
        fail('usage: window_frame.py PROGRAM')
    for size, scale in CASES:
        check(sys.argv[1], size, scale)
    print('PASSED')


main()
