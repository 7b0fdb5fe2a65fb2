#!/usr/bin/env python3
"""Helper for the tray-lamp tests: what a docked tray icon shows.

    tray_lamps.py lamps WINDOW       prints "received=N sent=M": the pixels of
                                     the received lamp's colour in the left
                                     half of the X window (the docked icon)
                                     and of the sent lamp's in the right half
    tray_lamps.py picture WINDOW     prints what the window shows as its
                                     colours and how many pixels each covers,
                                     the background left out
    tray_lamps.py like WINDOW PICTURE  true when the window shows what
                                     `picture` printed as PICTURE: the same
                                     colours, each over about as many pixels
    tray_lamps.py show WINDOW        prints the window's pixels as text, one
                                     letter a colour (for a failure's report)

The window is read with ImageMagick's `import` from the X server in DISPLAY.
The colours are those the program draws its lamps in (window/tray_picture.h),
opaque, so a tray that paints the icon on any background keeps them exact.
"""
import subprocess
import sys

RECEIVED = (0x00, 0xE0, 0x00)
SENT = (0xFF, 0xB0, 0x00)


def capture(window):
    """The window's pixels as (width, rows of (r, g, b))."""
    geometry = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
    width = int(geometry.split("Width:")[1].split()[0])
    raw = subprocess.run(["import", "-window", window, "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw) - 2, 3)]
    return width, [pixels[r:r + width] for r in range(0, len(pixels), width)]


def lamps(window):
    width, rows = capture(window)
    received = sum(1 for row in rows for x, p in enumerate(row) if p == RECEIVED and x < width // 2)
    sent = sum(1 for row in rows for x, p in enumerate(row) if p == SENT and x >= width // 2)
    print(f"received={received} sent={sent}")


def colours(window):
    """{colour: pixels} of what the window shows, the corner's background left
    out. Counted rather than compared pixel by pixel: a tray may move its icons
    by a pixel when it lays them out again, and wine's shell then scales the
    icon into the new place a little differently."""
    _, rows = capture(window)
    background = rows[0][0]
    counts = {}
    for row in rows:
        for p in row:
            if p != background:
                counts[p] = counts.get(p, 0) + 1
    return counts


def picture(window):
    print(" ".join("%02x%02x%02x:%d" % (*p, n) for p, n in sorted(colours(window).items())))


def like(window, expected):
    want = {bytes.fromhex(c): int(n) for c, n in (item.split(":") for item in expected.split())}
    have = {bytes(p): n for p, n in colours(window).items()}
    same = want.keys() == have.keys() and all(abs(have[c] - n) <= max(2, n // 5) for c, n in want.items())
    sys.exit(0 if same else 1)


def show(window):
    _, rows = capture(window)
    names = {}
    for row in rows:
        print("".join(names.setdefault(p, "abcdefghijklmnopqrstuvwxyz"[len(names) % 26]) for p in row))
    for p, name in names.items():
        print(name, "#%02x%02x%02x" % p)


def main():
    commands = {"lamps": (lamps, 1), "picture": (picture, 1), "like": (like, 2), "show": (show, 1)}
    if len(sys.argv) < 2 or sys.argv[1] not in commands or len(sys.argv) != 2 + commands[sys.argv[1]][1]:
        sys.exit(__doc__)
    function, _ = commands[sys.argv[1]]
    function(*sys.argv[2:])


if __name__ == "__main__":
    main()
