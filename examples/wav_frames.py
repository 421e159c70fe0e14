#!/usr/bin/env python3
"""wav_frames.py - a 16-bit WAV song to PNG frames through liblumagrove, with
Python's standard library alone (ctypes; no compiler, no package).

    python3 wav_frames.py SONG.wav FOLDER [LIBRARY]

LIBRARY is liblumagrove.so.0 as the dynamic loader finds it, unless given
(/usr/local/lib/liblumagrove.so.0, say). Frames are 640x360 at 30 a second:
FOLDER/frame_000000.png, ...
"""
import ctypes
import struct
import sys
import wave
import zlib

WIDTH, HEIGHT, FPS = 640, 360, 30
c_int, c_void_p = ctypes.c_int, ctypes.c_void_p


# The structs of lumagrove/lumagrove.h, field for field.
class SoundDesc(ctypes.Structure):
    _fields_ = [("rate", c_int), ("channels", c_int), ("sides", c_int * 64), ("mode", c_int), ("keep_all", c_int),
                ("quiet_seconds", ctypes.c_double), ("keep_seconds", ctypes.c_double)]


class VisualiserDesc(ctypes.Structure):
    _fields_ = [("plugin_path", ctypes.c_char_p), ("width", c_int), ("height", c_int), ("sound", SoundDesc),
                ("target", c_int), ("share_egl_display", c_void_p), ("share_egl_context", c_void_p),
                ("log", c_void_p), ("log_user", c_void_p)]


class Frame(ctypes.Structure):
    _fields_ = [("index", ctypes.c_int64), ("time", ctypes.c_double), ("sound_time", ctypes.c_double)]


class Picture(ctypes.Structure):
    _fields_ = [("pixels", c_void_p), ("stride", ctypes.c_size_t), ("format", c_int), ("bottom_row_first", c_int)]


def write_png(path, rgba):
    """An RGBA picture as a PNG file: rows filtered with none, deflated."""
    row = WIDTH * 4
    raw = b"".join(b"\0" + rgba[y * row:(y + 1) * row] for y in range(HEIGHT))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (3, 4):
        sys.exit("usage: wav_frames.py SONG.wav FOLDER [LIBRARY]")
    lib = ctypes.CDLL(argv[3] if len(argv) == 4 else "liblumagrove.so.0")
    lib.lumagrove_create.argtypes = [ctypes.POINTER(VisualiserDesc), ctypes.POINTER(c_void_p)]
    lib.lumagrove_push_s16.argtypes = [c_void_p, ctypes.c_char_p, ctypes.c_int64]
    lib.lumagrove_draw_to_memory.argtypes = [c_void_p, ctypes.POINTER(Frame), ctypes.POINTER(Picture)]
    lib.lumagrove_last_error.argtypes = [c_void_p]
    lib.lumagrove_last_error.restype = ctypes.c_char_p
    lib.lumagrove_destroy.argtypes = [c_void_p]
    lib.lumagrove_desc_defaults.argtypes = [ctypes.POINTER(VisualiserDesc)]
    lib.lumagrove_desc_defaults.restype = VisualiserDesc
    # The structures above mirror the header: the library's defaults, read
    # back through them, land in the fields they belong to.
    defaults = lib.lumagrove_desc_defaults(None)
    if (defaults.width, defaults.sound.rate, defaults.sound.quiet_seconds, defaults.target) != (1280, 48000, 0.25, 1):
        sys.exit("wav_frames.py: these structures do not match the library's lumagrove.h")
    try:
        with wave.open(argv[1]) as song:
            if song.getsampwidth() != 2:
                sys.exit("wav_frames.py: %s is no 16-bit WAV file" % argv[1])
            rate, channels, count = song.getframerate(), song.getnchannels(), song.getnframes()
            samples = song.readframes(count)
    except (OSError, EOFError, wave.Error) as e:
        sys.exit("wav_frames.py: %s: %s" % (argv[1], e))

    desc = VisualiserDesc(width=WIDTH, height=HEIGHT, sound=SoundDesc(rate=rate, channels=channels))
    visualiser = c_void_p()
    if lib.lumagrove_create(ctypes.byref(desc), ctypes.byref(visualiser)) != 0:
        sys.exit("wav_frames.py: " + lib.lumagrove_last_error(None).decode())
    lib.lumagrove_push_s16(visualiser, samples, count)
    pixels = ctypes.create_string_buffer(WIDTH * HEIGHT * 4)
    picture = Picture(pixels=ctypes.cast(pixels, c_void_p))  # zero: RGBA, the top row first
    frames = -(-count * FPS // rate)  # every frame the song covers
    for k in range(frames):
        frame = Frame(index=k, time=k / FPS, sound_time=k / FPS)
        if lib.lumagrove_draw_to_memory(visualiser, ctypes.byref(frame), ctypes.byref(picture)) != 0:
            sys.exit("wav_frames.py: " + lib.lumagrove_last_error(visualiser).decode())
        write_png("%s/frame_%06d.png" % (argv[2], k), pixels.raw)
    lib.lumagrove_destroy(visualiser)
    print("%d frames in %s" % (frames, argv[2]))


if __name__ == "__main__":
    main(sys.argv)
