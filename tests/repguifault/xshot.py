"""A picture of the X server's whole screen as a PNG file, read with XGetImage through the system's
libX11, for looking at the windows a test brings up (the tests set VDTEST_SHOTS to a folder for that)."""
import ctypes
import struct
import zlib

ALL_PLANES = 0xFFFFFFFF
Z_PIXMAP = 2


class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, as far as they are read here.
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.POINTER(ctypes.c_ubyte)),
                ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int),
                ('bitmap_bit_order', ctypes.c_int), ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


def _library():
    x11 = ctypes.CDLL('libX11.so.6')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                              ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x11


def _png(width, height, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    header = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    raw = b''.join(b'\x00' + row for row in rows)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 6)) + \
        chunk(b'IEND', b'')


def save_screen(file_name):
    """Writes the screen to file_name (a new file); False when the screen could not be read."""
    x11 = _library()
    display = x11.XOpenDisplay(None)
    if not display:
        return False
    try:
        width, height = x11.XDisplayWidth(display, 0), x11.XDisplayHeight(display, 0)
        image = x11.XGetImage(display, x11.XDefaultRootWindow(display), 0, 0, width, height, ALL_PLANES,
                              Z_PIXMAP)
        if not image or image.contents.bits_per_pixel != 32:
            return False
        line = image.contents.bytes_per_line
        data = ctypes.string_at(image.contents.data, line * height)
        rows = []
        for y in range(height):
            bgrx = data[y * line:y * line + width * 4]
            rgb = bytearray(width * 3)
            rgb[0::3] = bgrx[2::4]
            rgb[1::3] = bgrx[1::4]
            rgb[2::3] = bgrx[0::4]
            rows.append(bytes(rgb))
        with open(file_name, 'xb') as out:
            out.write(_png(width, height, rows))
        return True
    finally:
        x11.XCloseDisplay(display)
