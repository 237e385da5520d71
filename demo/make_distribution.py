#!/usr/bin/env python3
"""Assembles the demo distribution of QEL Setup: the folder a user would get on a floppy or CD.

Writes into the output folder (emptied first):
  SETUP.EXE                         the setup program
  INSTALL.FIL                       the demo QEL product as a zip archive (made here)
  QELINTRO.DOC ... README.DOC       the seven documents of the product, with CRLF line ends
  VORTAMIX.DLL DUDURU2.DLL DUVOZER.DLL  the product's runtime libraries (demo stand-ins)

and, with --product-tree, the archive's members as a folder tree, for the tests that compare
what the setup installed with what the archive holds.

The archive's members, in this order (the order decides when the setup asks its questions):
  QEL.EXE, MODEMS.DAT, the five shortcut icons, OPTIONS/ (three option files), PHONEBK,
  SCRIPT/ (two event scripts and SCRIPT/SAMPLES/), BBSLIST.DAT, and LOG/, UPLOAD/, DOWNLOAD/
  each holding an empty DUMMY.TMP that makes the folder and that the setup deletes at its end.
MODEMS.DAT and BBSLIST.DAT are generated data lists big enough that the progress bar can be seen
standing part-way while the second one is unpacked.

Usage: make_distribution.py --setup SETUP.EXE --qel QEL.EXE --runtime FOLDER --out FOLDER
                            [--product-tree FOLDER]
"""

import argparse
import os
import random
import shutil
import struct
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "resources"))
import make_resources as art  # noqa: E402  (the pictures' canvas and icon writer)

DOCUMENTS = ["QELINTRO.DOC", "MODEMS.DOC", "PROBLEMS.DOC", "SCRIPTS.DOC", "ORDER.DOC",
             "WHATSNEW.DOC", "README.DOC"]
RUNTIME_LIBRARIES = ["VORTAMIX.DLL", "DUDURU2.DLL", "DUVOZER.DLL"]
# Shortcut icons: the documents' icon and one per reseller, with the reseller's colour.
ICONS = [("inst_doc.ico", art.WHITE), ("order_qs.ico", art.NAVY), ("order_df.ico", art.MAROON),
         ("order_me.ico", art.GREEN), ("order_tw.ico", art.PURPLE)]
# Archive time of every member: 1 March 2002, 10:00.
MEMBER_TIME = (2002, 3, 1, 10, 0, 0)


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def product_file(relative, line_ends):
    data = read(os.path.join(HERE, "product", relative))
    return crlf(data) if line_ends == "crlf" else data


def draw_page_icon(size, band):
    """A sheet of paper with text lines and a coloured band at its top, on a transparent ground
    (the black that the sheet does not use)."""
    c = art.Canvas(size, size, art.BLACK)
    k = size / 32.0

    def p(v):
        return int(round(v * k))

    c.box(p(6), p(2), p(25), p(29), art.WHITE)
    c.frame(p(6), p(2), p(25), p(29), art.SILVER, art.GREY)
    if band != art.WHITE:
        c.box(p(8), p(4), p(23), p(8), band)
    for row in range(4):
        y = p(12) + row * p(4)
        c.box(p(9), y, p(22) - (row % 2) * p(4), y, art.GREY)
    mask = [[1 if colour == art.BLACK else 0 for colour in row] for row in c.pixels]
    return c, mask


def icon_bytes(band):
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "icon.ico")
        art.write_ico(path, [draw_page_icon(32, band), draw_page_icon(16, band)])
        return read(path)


def modem_list(lines):
    """MODEMS.DAT: init strings for many Hayes-compatible modems, one per line."""
    rng = random.Random(3)
    vendors = ["Acorn", "Bitline", "Conrad", "Dr. Neuhaus", "Elsa", "Hayes", "Lasat", "Teles",
               "Telelink", "USRobotics", "Zyxel"]
    speeds = ["2400", "9600", "14400", "19200", "28800", "33600", "57600"]
    commands = ["&C1", "&D2", "&K3", "&Q5", "\\N3", "%C1", "S0=0", "S7=60", "X4", "M1", "L2", "E1"]
    out = ["; QEL Terminal 3.10 - modem list; vendor;model;speed;init string"]
    for n in range(lines):
        init = "AT&F" + "".join(rng.sample(commands, rng.randint(3, 7)))
        out.append("%s;%s %d%s;%s;%s" % (rng.choice(vendors), rng.choice(["Fax", "Pocket", "Pro",
                   "Office", "ISDN", "Voice"]), 1000 + n, rng.choice(["", "e", "i", " plus"]),
                   rng.choice(speeds), init))
    return ("\r\n".join(out) + "\r\n").encode("ascii")


def mailbox_list(lines):
    """BBSLIST.DAT: a directory of mailboxes to dial, one per line."""
    rng = random.Random(7)
    towns = ["Aachen", "Berlin", "Bremen", "Dresden", "Essen", "Graz", "Hamburg", "Kiel", "Lyon",
             "Koeln", "Muenchen", "Nantes", "Zuerich"]
    topics = ["Amiga", "Atari", "CB Funk", "Fido", "Games", "Linux", "Modems", "OS/2", "Shareware",
              "Windows"]
    out = ["; QEL Terminal 3.10 - mailbox list; name;town;number;speed;topics"]
    for n in range(lines):
        town = rng.choice(towns)
        out.append("%s %s Box %d;%s;0%d %d;%s;%s" % (
            town, rng.choice(topics), n, town, rng.randint(20, 999), rng.randint(10000, 999999),
            rng.choice(["14400", "28800", "33600"]), ", ".join(rng.sample(topics, 3))))
    return ("\r\n".join(out) + "\r\n").encode("ascii")


def product_members(qel_exe):
    """The archive's members in their order: (name, data, compress)."""
    members = [("QEL.EXE", read(qel_exe), True), ("MODEMS.DAT", modem_list(24000), True)]
    members += [(name, icon_bytes(band), False) for name, band in ICONS]
    for name in ["STANDARD.QPA", "STANDARD.QKY", "STANDARD.QTB"]:  # read with their LF lines
        members.append(("OPTIONS/" + name, product_file("OPTIONS/" + name, "lf"), True))
    members.append(("PHONEBK", product_file("PHONEBK", "crlf"), True))
    for name in ["QELEVENT.QRX", "QELXFER.QRX", "SAMPLES/LOGIN.QRX", "SAMPLES/MAILBOX.QRX"]:
        members.append(("SCRIPT/" + name, product_file("SCRIPT/" + name, "crlf"), True))
    members.append(("BBSLIST.DAT", mailbox_list(20000), True))
    for folder in ["LOG", "UPLOAD", "DOWNLOAD"]:
        members.append((folder + "/DUMMY.TMP", b"", False))
    return members


def dos_time(when):
    """A (year, month, day, hour, minute, second) as the archive's MS-DOS date and time words."""
    year, month, day, hour, minute, second = when
    return (year - 1980) << 9 | month << 5 | day, hour << 11 | minute << 5 | second // 2


def write_archive(path, members):
    """Writes the members as a zip archive made on MS-DOS (host 0, archive attribute), stored or
    deflated at the highest level, with one time for all."""
    date, time = dos_time(MEMBER_TIME)
    body, directory = bytearray(), bytearray()
    for name, data, compress in members:
        raw = name.encode("ascii")
        crc = zlib.crc32(data)
        if compress:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed, method = packer.compress(data) + packer.flush(), 8
        else:
            packed, method = data, 0
        # Method, time, date, CRC-32 and the two sizes: the same in both headers.
        fields = struct.pack("<HHHIII", method, time, date, crc, len(packed), len(data))
        offset = len(body)
        body += struct.pack("<IHH", 0x04034B50, 20, 0) + fields
        body += struct.pack("<HH", len(raw), 0) + raw + packed
        directory += struct.pack("<IBBHH", 0x02014B50, 20, 0, 20, 0) + fields
        directory += struct.pack("<HHHHHII", len(raw), 0, 0, 0, 0, 0x20, offset) + raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(directory),
                      len(body), 0)
    with open(path, "wb") as out:
        out.write(body + directory + end)


def main():
    parser = argparse.ArgumentParser(description="Assembles the QEL Setup demo distribution.")
    parser.add_argument("--setup", required=True, help="SETUP.EXE")
    parser.add_argument("--qel", required=True, help="the demo product's QEL.EXE")
    parser.add_argument("--runtime", required=True, help="folder holding the three libraries")
    parser.add_argument("--out", required=True, help="the distribution folder to write")
    parser.add_argument("--product-tree", help="also write the archive's members here")
    options = parser.parse_args()

    members = product_members(options.qel)
    shutil.rmtree(options.out, ignore_errors=True)
    os.makedirs(options.out)

    write_archive(os.path.join(options.out, "INSTALL.FIL"), members)
    shutil.copyfile(options.setup, os.path.join(options.out, "SETUP.EXE"))
    for name in DOCUMENTS:
        with open(os.path.join(options.out, name), "wb") as out:
            out.write(crlf(read(os.path.join(HERE, "docs", name))))
    for name in RUNTIME_LIBRARIES:
        shutil.copyfile(os.path.join(options.runtime, name), os.path.join(options.out, name))

    if options.product_tree:
        shutil.rmtree(options.product_tree, ignore_errors=True)
        for name, data, _ in members:
            path = os.path.join(options.product_tree, *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
