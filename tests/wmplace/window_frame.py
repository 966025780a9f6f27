"""The real program under Xvfb with openbox, at screen sizes and scale factors where its main window is
taller than the screen: the frame, read from the X server, is centred and whole on the screen (a window
larger than the screen fits itself to it).   window_frame.py PROGRAM"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from xsession import XSession, XSessionError  # noqa: E402

CASES = [((1920, 1080), 2), ((1366, 768), 1.5), ((1366, 768), 2), ((1280, 1024), 1)]
MAIN_SIZE = (696, 542)  # the main window's client size at scale 1, kept where it fits


def fail(message):
    sys.exit('FAILED: ' + message)


def tool(session, *arguments):
    try:
        result = subprocess.run(arguments, capture_output=True, text=True, timeout=10, env=session.environment())
        return result.stdout if result.returncode == 0 else ''
    except subprocess.TimeoutExpired:
        return ''


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.3)
    return result


def main_frame(session):
    """(x, y, width, height, client width, client height) of the main window's frame once the window
    manager has made it, else None."""
    clients = tool(session, 'xprop', '-root', '_NET_CLIENT_LIST').partition('#')[2]
    for window in (w.strip() for w in clients.split(',') if w.strip()):
        if not tool(session, 'xprop', '-id', window, '_NET_WM_NAME').rstrip().endswith('"Vexa Daxo Soft"'):
            continue
        if 'SPLASH' in tool(session, 'xprop', '-id', window, '_NET_WM_WINDOW_TYPE'):
            continue  # the splash bears the same caption
        extents = tool(session, 'xprop', '-id', window, '_NET_FRAME_EXTENTS').partition('=')[2]
        info = dict(line.strip().partition(':')[::2] for line in tool(session, 'xwininfo', '-id', window).splitlines())
        if not extents or 'IsViewable' not in info.get('Map State', ''):
            continue
        left, right, top, bottom = (int(v) for v in extents.split(','))
        return (int(info['Absolute upper-left X']) - left, int(info['Absolute upper-left Y']) - top,
                int(info['Width']) + left + right, int(info['Height']) + top + bottom,
                int(info['Width']), int(info['Height']))
    return None


def check(program, size, scale):
    """On a screen of this size with openbox (tests/support/xsession.py)."""
    try:
        with XSession(size, window_manager=True) as session:
            check_on(session, program, size, scale)
    except XSessionError as error:
        fail(str(error))


def check_on(session, program, size, scale):
    processes = []
    try:
        with tempfile.TemporaryDirectory() as folder:
            environment = dict(session.environment(), QT_QPA_PLATFORM='xcb', QT_SCALE_FACTOR=str(scale),
                               VEXADAXO_WINDIR=folder, VEXADAXO_REGISTRY=os.path.join(folder, 'registry.ini'))
            processes.append(subprocess.Popen([os.path.abspath(program)], env=environment, cwd=folder,
                                              stderr=subprocess.DEVNULL))
            # The frame is placed again once known: wait until two readings agree.
            seen = [None]

            def settled():
                now, seen[0] = main_frame(session), seen[0]
                stable = now is not None and now == seen[0]
                seen[0] = now
                return now if stable else None
            frame = wait_for(settled, 60)
        if frame is None:
            fail('%s at scale %s: the main window did not settle on screen (%s)' % (size, scale, seen[0]))
        x, y, width, height, client_width, client_height = frame
        print('%dx%d at scale %s: frame %dx%d at %d,%d' % (size + (scale, width, height, x, y)))
        for axis, at, screen, extent in (('x', x, size[0], width), ('y', y, size[1], height)):
            expected = max(0, (screen - extent) // 2)
            if at < 0 or abs(at - expected) > 2:  # a pixel of rounding at a fractional scale
                fail('%s at scale %s: the frame is at %s %d, expected %d' % (size, scale, axis, at, expected))
            if at + extent > screen:
                fail('%s at scale %s: the frame reaches %s %d, beyond the screen' % (size, scale, axis, at + extent))
        made = tuple(round(v * scale) for v in MAIN_SIZE)
        fits = all(m + (width - client_width, height - client_height)[i] <= size[i] for i, m in enumerate(made))
        if fits and (client_width, client_height) != made:
            fail('%s at scale %s: the window fits, yet its client is %dx%d instead of %dx%d'
                 % (size, scale, client_width, client_height) + made)
    finally:
        for process in reversed(processes):
            process.kill()
            process.wait()


for case in CASES:
    check(sys.argv[1], *case)
print('PASSED')
