# Prints the name of the X cursor shown now ("left_ptr", "xterm", "watch" ...), as Wine sets it
# from the system cursor a window asks for; for a cursor made from a picture (Wine 8's animated
# wait cursor), "?" and its size and hot spot: "? 24x24 11,11".
import ctypes


class CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


x11 = ctypes.CDLL("libX11.so.6")
xfixes = ctypes.CDLL("libXfixes.so.3")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    raise SystemExit("no X display")
image = xfixes.XFixesGetCursorImage(display)
if not image:
    raise SystemExit("no cursor image")
shown = image.contents
if shown.name:
    print(shown.name.decode())
else:
    print(f"? {shown.width}x{shown.height} {shown.xhot},{shown.yhot}")
