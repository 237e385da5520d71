#!/usr/bin/env python3
"""Builds the setup program's resources from resources/main_dialog.table.

Writes, into the output folder:
  setup.rc              the resource script (code page 1252): dialogs 100, 101, 102, bitmaps 2,
                        200, 201 and icon 1
  resources/control_ids.h  the dialog's control ids by name, for the resource script and the
                        program
  resources/main_dialog.h  the same dialog table as a C++ header, for the tests and the headless
                        OS layer
  checker.bmp           bitmap 2: the progress bar's 4 x 4 checkerboard, dark pixel top left
  terminal_large.bmp    bitmap 200 (230 x 210): a terminal with its modem
  terminal_small.bmp    bitmap 201 (200 x 180): the same picture, smaller
  setup.ico             icon 1: a small terminal screen

Usage: make_resources.py TABLE OUTPUT_FOLDER
"""

import os
import struct
import sys

# --- Window styles (the values of the Windows headers) ------------------------------------------

WS_POPUP = 0x80000000
WS_CHILD = 0x40000000
WS_VISIBLE = 0x10000000
WS_CAPTION = 0x00C00000
WS_BORDER = 0x00800000
WS_SYSMENU = 0x00080000
WS_GROUP = 0x00020000
WS_TABSTOP = 0x00010000
DS_SETFONT = 0x40
DS_MODALFRAME = 0x80
BS_PUSHBUTTON = 0x0
BS_DEFPUSHBUTTON = 0x1
BS_AUTOCHECKBOX = 0x3
SS_LEFT = 0x0
SS_RIGHT = 0x2
SS_BITMAP = 0xE
ES_LEFT = 0x0
ES_AUTOHSCROLL = 0x80
ES_READONLY = 0x800

DIALOG_STYLE = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU  # created hidden
FONT_NAME = "MS Sans Serif"
FONT_POINTS = 8
TEMPLATE_IDS = (100, 101, 102)  # English, German, French
LANGUAGE_CODES = ("en", "de", "fr")
LANGUAGE_IDS = ("LANG_ENGLISH, SUBLANG_ENGLISH_US", "LANG_GERMAN, SUBLANG_GERMAN",
                "LANG_FRENCH, SUBLANG_FRENCH")

# Each kind of control: its window class and style.
KINDS = {
    "default-button": ("Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON),
    "button": ("Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON),
    "auto-check": ("Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX),
    "label": ("Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT),
    "right-label": ("Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_RIGHT),
    "edit": ("Edit", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT),
    "edit-scroll": ("Edit", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL),
    "edit-readonly": ("Edit", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_READONLY),
    "progress": ("ProgressBar", WS_CHILD | WS_VISIBLE),
    "picture": ("Static", WS_CHILD | WS_VISIBLE | SS_BITMAP),
}


def fail(message):
    sys.exit("make_resources.py: " + message)


# --- The table ----------------------------------------------------------------------------------

def read_table(path):
    dialog = None
    controls = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split(None, 8 if not line.startswith("dialog") else 3)
            if fields[0] == "dialog":
                texts = [t.strip() for t in fields[3].split("|")]
                if len(texts) != 3:
                    fail("line %d: three captions expected" % number)
                dialog = {"width": int(fields[1]), "height": int(fields[2]), "captions": texts}
                continue
            if len(fields) != 9:
                fail("line %d: 9 columns expected" % number)
            ident, name, kind, x, y, width, height, changes, text = fields
            if (ident == "-") != (name == "-") or (name != "-" and not name.startswith("CTRL_")):
                fail("line %d: an id and its CTRL_ name go together" % number)
            if kind not in KINDS:
                fail("line %d: unknown kind %s" % (number, kind))
            texts = [t.strip() for t in text.split("|")] if text != "-" else ["", "", ""]
            if kind == "picture":
                texts = texts * 3  # the bitmap id, the same in every language
            if len(texts) != 3:
                fail("line %d: three texts expected" % number)
            for t in texts:
                t.encode("cp1252")  # every text must exist in code page 1252
            style = KINDS[kind][1]
            control = {
                "id": -1 if ident == "-" else int(ident),
                "name": "" if name == "-" else name,
                "kind": kind,
                "x": [int(x)] * 3, "y": int(y), "width": [int(width)] * 3, "height": int(height),
                "style": [style] * 3,
                "texts": texts,
            }
            for change in ([] if changes == "-" else changes.split(",")):
                language_code, _, what = change.partition(".")
                if language_code not in LANGUAGE_CODES:
                    fail("line %d: unknown language in %s" % (number, change))
                language = LANGUAGE_CODES.index(language_code)
                if what == "autoscroll":
                    control["style"][language] |= ES_AUTOHSCROLL
                elif what.startswith("x="):
                    control["x"][language] = int(what[2:])
                elif what.startswith("width="):
                    control["width"][language] = int(what[6:])
                elif what == "pad":
                    control["texts"][language] += " "
                else:
                    fail("line %d: unknown change %s" % (number, change))
            controls.append(control)
    if dialog is None:
        fail("no dialog line")
    ids = [c["id"] for c in controls if c["id"] != -1]
    names = [c["name"] for c in controls if c["name"]]
    if len(ids) != len(set(ids)) or len(names) != len(set(names)):
        fail("control ids or names repeat")
    return dialog, controls


# --- Resource script ----------------------------------------------------------------------------

def rc_string(text):
    return '"' + text.replace('"', '""') + '"'


def write_rc(path, dialog, controls):
    lines = [
        "// Resources of SETUP.EXE. Generated by resources/make_resources.py from",
        "// resources/main_dialog.table: edit the table, not this file.",
        "#pragma code_page(1252)",
        "#include <windows.h>",
        '#include "resources/control_ids.h"',
        "",
        '1 ICON "setup.ico"',
        '2 BITMAP "checker.bmp"',
        '200 BITMAP "terminal_large.bmp"',
        '201 BITMAP "terminal_small.bmp"',
        "",
    ]
    for language, template_id in enumerate(TEMPLATE_IDS):
        lines.append("LANGUAGE " + LANGUAGE_IDS[language])
        lines.append("%d DIALOG 0, 0, %d, %d" % (template_id, dialog["width"], dialog["height"]))
        lines.append("STYLE 0x%08X" % DIALOG_STYLE)
        lines.append("CAPTION " + rc_string(dialog["captions"][language]))
        lines.append('FONT %d, "%s"' % (FONT_POINTS, FONT_NAME))
        lines.append("BEGIN")
        for c in controls:
            window_class = KINDS[c["kind"]][0]
            if c["kind"] == "picture":
                text = c["texts"][language]  # the bitmap's id, stored as an ordinal
            else:
                text = rc_string(c["texts"][language])
            lines.append('    CONTROL %s, %s, "%s", 0x%08X, %d, %d, %d, %d' % (
                text, c["name"] or "-1", window_class, c["style"][language], c["x"][language], c["y"],
                c["width"][language], c["height"]))
        lines.append("END")
        lines.append("")
    with open(path, "w", encoding="cp1252", newline="\r\n") as out:
        out.write("\n".join(lines))


# --- Control ids --------------------------------------------------------------------------------

def write_control_ids(path, controls):
    named = [c for c in controls if c["name"]]
    lines = [
        "// The main dialog's control ids, for the resource script and the program. Generated by",
        "// resources/make_resources.py from resources/main_dialog.table: do not edit.",
        "#ifndef QEL_CONTROL_IDS_H",
        "#define QEL_CONTROL_IDS_H",
        "#ifdef RC_INVOKED",
    ]
    lines += ["#define %s %d" % (c["name"], c["id"]) for c in named]
    lines += ["#else", "enum DialogControlId {"]
    lines += ["    %s = %d," % (c["name"], c["id"]) for c in named]
    lines += ["};", "#endif", "#endif", ""]
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines))


# --- C++ header ---------------------------------------------------------------------------------

def cpp_string(text):
    out = '"'
    for byte in text.encode("cp1252"):
        if byte == 0x22 or byte == 0x5C:
            out += "\\" + chr(byte)
        elif 0x20 <= byte < 0x7F:
            out += chr(byte)
        else:
            out += '\\x%02X""' % byte  # closed so that a following hex digit stays a letter
    return out + '"'


def write_header(path, dialog, controls):
    kind_names = {
        "default-button": "DLG_DEFAULT_BUTTON", "button": "DLG_BUTTON",
        "auto-check": "DLG_AUTO_CHECK", "label": "DLG_LABEL", "right-label": "DLG_RIGHT_LABEL",
        "edit": "DLG_EDIT", "edit-scroll": "DLG_EDIT", "edit-readonly": "DLG_EDIT",
        "progress": "DLG_PROGRESS", "picture": "DLG_PICTURE",
    }
    lines = [
        "// The main dialog's controls, as the three templates of SETUP.EXE hold them. Generated",
        "// by resources/make_resources.py from resources/main_dialog.table: do not edit.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        '#include "resources/control_ids.h"',
        "",
        "enum DialogControlKind {",
        "    DLG_DEFAULT_BUTTON, DLG_BUTTON, DLG_AUTO_CHECK, DLG_LABEL, DLG_RIGHT_LABEL,",
        "    DLG_EDIT, DLG_PROGRESS, DLG_PICTURE",
        "};",
        "",
        "// One control; the arrays hold its English, German and French values.",
        "struct DialogControl {",
        "    int id; // -1 for a label without id",
        "    const char *name; // the id's name, \"\" without id",
        "    DialogControlKind kind;",
        "    const char *window_class;",
        "    uint32_t style[3];",
        "    int x[3], y, width[3], height; // dialog units",
        "    const char *text[3]; // in code page 1252",
        "    int bitmap; // a picture's bitmap resource, else 0",
        "};",
        "",
        "constexpr int DIALOG_TEMPLATE_IDS[3] = {%s};" % ", ".join(map(str, TEMPLATE_IDS)),
        "constexpr uint32_t DIALOG_STYLE = 0x%08Xu;" % DIALOG_STYLE,
        "constexpr int DIALOG_WIDTH = %d, DIALOG_HEIGHT = %d;" % (dialog["width"], dialog["height"]),
        'constexpr const char *DIALOG_FONT_NAME = "%s";' % FONT_NAME,
        "constexpr int DIALOG_FONT_POINTS = %d;" % FONT_POINTS,
        "constexpr const char *DIALOG_CAPTIONS[3] = {%s};" % ", ".join(
            cpp_string(t) for t in dialog["captions"]),
        "",
        "// Resource ids of the pictures and the icon.",
        "constexpr int BITMAP_CHECKER = 2, BITMAP_TERMINAL_LARGE = 200, BITMAP_TERMINAL_SMALL = 201;",
        "constexpr int ICON_SETUP = 1;",
        "",
        "constexpr int DIALOG_CONTROL_COUNT = %d;" % len(controls),
        "constexpr DialogControl DIALOG_CONTROLS[DIALOG_CONTROL_COUNT] = {",
    ]
    def three(values, form="%d"):
        return "{" + ", ".join(form % v for v in values) + "}"
    for c in controls:
        window_class = KINDS[c["kind"]][0]
        bitmap = int(c["texts"][0]) if c["kind"] == "picture" else 0
        texts = ["", "", ""] if c["kind"] == "picture" else c["texts"]
        lines.append('    {%s, "%s", %s, "%s", %s, %s, %d, %s, %d, {%s}, %d},' % (
            c["name"] or "-1", c["name"], kind_names[c["kind"]], window_class, three(c["style"], "0x%08Xu"),
            three(c["x"]), c["y"], three(c["width"]), c["height"],
            ", ".join(cpp_string(t) for t in texts), bitmap))
    lines.append("};")
    lines.append("")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("\n".join(lines))


# --- Pictures -----------------------------------------------------------------------------------

# The 16 colours of the VGA palette, which every Windows display shows without dithering.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


class Canvas:
    """A picture of palette indexes, row 0 at the top."""

    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, colour):  # filled, both corners included
        for y in range(max(y0, 0), min(y1, self.height - 1) + 1):
            for x in range(max(x0, 0), min(x1, self.width - 1) + 1):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, light, dark):  # a raised bevel
        for x in range(x0, x1 + 1):
            self.put(x, y0, light)
            self.put(x, y1, dark)
        for y in range(y0, y1 + 1):
            self.put(x0, y, light)
            self.put(x1, y, dark)

    def text(self, x, y, words, colour, scale=1):
        for ch in words:
            glyph = FONT.get(ch.upper(), FONT["?"])
            for row, bits in enumerate(glyph):
                for col in range(3):
                    if bits & (4 >> col):
                        self.box(x + col * scale, y + row * scale, x + col * scale + scale - 1,
                                 y + row * scale + scale - 1, colour)
            x += 4 * scale


# A 3 x 5 pixel font for the terminal's screen: each row's three bits, left bit first.
FONT = {
    " ": [0, 0, 0, 0, 0], "?": [6, 1, 2, 0, 2], ">": [4, 2, 1, 2, 4], ":": [0, 2, 0, 2, 0],
    ".": [0, 0, 0, 0, 2], "-": [0, 0, 7, 0, 0], "_": [0, 0, 0, 0, 7], "/": [1, 1, 2, 4, 4],
    "0": [7, 5, 5, 5, 7], "1": [2, 6, 2, 2, 7], "2": [7, 1, 7, 4, 7], "3": [7, 1, 3, 1, 7],
    "4": [5, 5, 7, 1, 1], "5": [7, 4, 7, 1, 7], "6": [7, 4, 7, 5, 7], "7": [7, 1, 1, 2, 2],
    "8": [7, 5, 7, 5, 7], "9": [7, 5, 7, 1, 7], "A": [2, 5, 7, 5, 5], "B": [6, 5, 6, 5, 6],
    "C": [3, 4, 4, 4, 3], "D": [6, 5, 5, 5, 6], "E": [7, 4, 6, 4, 7], "F": [7, 4, 6, 4, 4],
    "G": [3, 4, 5, 5, 3], "H": [5, 5, 7, 5, 5], "I": [7, 2, 2, 2, 7], "J": [1, 1, 1, 5, 2],
    "K": [5, 5, 6, 5, 5], "L": [4, 4, 4, 4, 7], "M": [5, 7, 7, 5, 5], "N": [6, 5, 5, 5, 5],
    "O": [2, 5, 5, 5, 2], "P": [6, 5, 6, 4, 4], "Q": [2, 5, 5, 6, 3], "R": [6, 5, 6, 5, 5],
    "S": [3, 4, 2, 1, 6], "T": [7, 2, 2, 2, 2], "U": [5, 5, 5, 5, 7], "V": [5, 5, 5, 5, 2],
    "W": [5, 5, 7, 7, 5], "X": [5, 5, 2, 5, 5], "Y": [5, 5, 2, 2, 2], "Z": [7, 1, 2, 4, 7],
}

SCREEN_LINES = ["QEL TERMINAL 3.10", "ATZ", "OK", "ATDT 0471 1234", "CONNECT 28800",
                "WELCOME TO THE MAILBOX", "LOGIN: GUEST", "> DOWNLOAD NEWS.ZIP"]


def draw_terminal(width, height):
    """A monitor showing a modem session, a keyboard in front and a modem with lit LEDs."""
    c = Canvas(width, height, SILVER)
    s = width / 230.0  # the drawing is laid out for 230 x 210 and scaled
    def px(v):
        return int(round(v * s))

    # Monitor case, screen bezel and the green-on-black screen.
    c.box(px(20), px(8), px(190), px(128), SILVER)
    c.frame(px(20), px(8), px(190), px(128), WHITE, GREY)
    c.frame(px(21), px(9), px(189), px(127), WHITE, BLACK)
    c.box(px(30), px(16), px(180), px(112), GREY)
    c.box(px(33), px(19), px(177), px(109), BLACK)
    scale = 1
    line_height = 8 if s > 0.95 else 7
    for row, words in enumerate(SCREEN_LINES):
        y = px(24) + row * line_height
        if y + 5 > px(106):
            break
        c.text(px(37), y, words[: int((px(177) - px(37)) / 4)], LIME, scale)
    # Cursor block after the last line.
    c.box(px(37) + 4 * 20, px(24) + 7 * line_height, px(37) + 4 * 20 + 2,
          px(24) + 7 * line_height + 4, LIME)
    # Power LED and the monitor's foot.
    c.box(px(170), px(117), px(174), px(120), LIME)
    c.box(px(85), px(129), px(125), px(136), GREY)
    c.box(px(70), px(137), px(140), px(142), SILVER)
    c.frame(px(70), px(137), px(140), px(142), WHITE, GREY)

    # Keyboard: a bevelled slab with rows of keys.
    c.box(px(14), px(150), px(172), px(194), SILVER)
    c.frame(px(14), px(150), px(172), px(194), WHITE, BLACK)
    key = max(px(8), 5)
    for row in range(4):
        y = px(156) + row * px(9)
        x = px(20) + (row % 2) * px(4)
        while x + key < px(166):
            c.box(x, y, x + key - 2, y + key - 3, GREY)
            c.box(x, y, x + key - 3, y + key - 4, WHITE)
            c.box(x + 1, y + 1, x + key - 3, y + key - 4, SILVER)
            x += key
    c.box(px(50), px(156) + 4 * px(9) - px(2), px(130), px(156) + 4 * px(9) + px(3), WHITE)

    # Modem beside the keyboard, with its LEDs and the line to the wall.
    c.box(px(180), px(160), px(224), px(180), GREY)
    c.frame(px(180), px(160), px(224), px(180), SILVER, BLACK)
    for n, colour in enumerate((LIME, LIME, RED, YELLOW, LIME)):
        x = px(185) + n * px(8)
        c.box(x, px(168), x + max(px(3), 2), px(171), colour)
    for y in range(px(181), px(200)):
        c.put(px(218), y, BLACK)
    c.box(px(210), px(200), px(226), px(206), NAVY)
    return c


def write_bmp(path, canvas):
    """A 16-colour bitmap stored bottom-up, as Windows keeps device-independent bitmaps."""
    row_bytes = ((canvas.width * 4 + 31) // 32) * 4
    image = bytearray()
    for y in range(canvas.height - 1, -1, -1):  # bottom row first
        row = canvas.pixels[y]
        packed = bytearray(row_bytes)
        for x in range(canvas.width):
            shift = 4 if x % 2 == 0 else 0
            packed[x // 2] |= row[x] << shift
        image += packed
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 4, 0, len(image),
                       2835, 2835, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + palette + image)


def draw_checker():
    """Bitmap 2: single pixels of dark and light grey, the top-left pixel dark."""
    c = Canvas(4, 4, SILVER)
    for y in range(4):
        for x in range(4):
            c.put(x, y, GREY if (x + y) % 2 == 0 else SILVER)
    return c


def draw_icon(size):
    """A little terminal: bevelled case, dark screen with a prompt, on a transparent ground."""
    c = Canvas(size, size, BLACK)
    mask = [[1] * size for _ in range(size)]  # 1 = transparent
    def fill(x0, y0, x1, y1, colour):
        c.box(x0, y0, x1, y1, colour)
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                mask[y][x] = 0
    k = size / 32.0
    def p(v):
        return int(round(v * k))
    fill(p(2), p(3), p(29), p(24), SILVER)
    c.frame(p(2), p(3), p(29), p(24), WHITE, GREY)
    fill(p(5), p(6), p(26), p(20), BLACK)
    fill(p(7), p(8), p(9), p(9), LIME)      # the prompt ">" in two strokes
    fill(p(10), p(10), p(11), p(11), LIME)
    fill(p(7), p(12), p(9), p(13), LIME)
    fill(p(13), p(12), p(18), p(13), LIME)  # a cursor line
    fill(p(11), p(25), p(20), p(27), GREY)
    fill(p(7), p(28), p(24), p(29), SILVER)
    return c, mask


def write_ico(path, images):
    """An icon file holding 16-colour images with their transparency masks."""
    entries, blobs = [], []
    for canvas, mask in images:
        size = canvas.width
        xor_row = ((size * 4 + 31) // 32) * 4
        and_row = ((size + 31) // 32) * 4
        xor, andmask = bytearray(), bytearray()
        for y in range(size - 1, -1, -1):
            packed = bytearray(xor_row)
            for x in range(size):
                packed[x // 2] |= canvas.pixels[y][x] << (4 if x % 2 == 0 else 0)
            xor += packed
            bits = bytearray(and_row)
            for x in range(size):
                if mask[y][x]:
                    bits[x // 8] |= 0x80 >> (x % 8)
            andmask += bits
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(andmask),
                           0, 0, 16, 0)
        blobs.append(info + palette + bytes(xor) + bytes(andmask))
        entries.append(size)
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def main():
    if len(sys.argv) != 3:
        fail("usage: make_resources.py TABLE OUTPUT_FOLDER")
    table, folder = sys.argv[1], sys.argv[2]
    dialog, controls = read_table(table)
    os.makedirs(os.path.join(folder, "resources"), exist_ok=True)
    write_rc(os.path.join(folder, "setup.rc"), dialog, controls)
    write_control_ids(os.path.join(folder, "resources", "control_ids.h"), controls)
    write_header(os.path.join(folder, "resources", "main_dialog.h"), dialog, controls)
    write_bmp(os.path.join(folder, "checker.bmp"), draw_checker())
    write_bmp(os.path.join(folder, "terminal_large.bmp"), draw_terminal(230, 210))
    write_bmp(os.path.join(folder, "terminal_small.bmp"), draw_terminal(200, 180))
    write_ico(os.path.join(folder, "setup.ico"), [draw_icon(32), draw_icon(16)])


if __name__ == "__main__":
    main()
