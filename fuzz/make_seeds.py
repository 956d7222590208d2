#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into fuzz/corpus/.

Run again after changing an input layout; inputs the fuzzer found are kept
beside these (they are named by their hash, these by what they hold)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "seed-" + name), "wb") as f:
        f.write(data)


def stretch(byte, n):
    """byte followed by n * 256 more copies of it (the catalogue's escape)."""
    return bytes([byte, 0xFE, n])


def section(i, model=b"CDRW-A100", inquiry=b"OPTIDRV CDRW-A100", rng=b"1A00-1A99",
            mask=b"*.BIN", vendor=b"OPTIDRV", note=b"", skip=()):
    keys = [(b"Model", model), (b"Inquiry", inquiry), (b"FW-Range", rng), (b"BINMask", mask),
            (b"Vendor", vendor), (b"Note", note)]
    out = b"[MODEL%02d]\n" % i
    for k, v in keys:
        if k not in skip:
            out += k + b"=" + v + b"\n"
    return out


def catalogue():
    t = "fuzz_catalogue"
    c = b"\x10"  # control: small-buffer size 17
    put(t, "two-models", c + section(0) + section(1, b"DVDRW-B200", mask=b"B2*.BIN;*.HEX"))
    put(t, "one-model", c + section(0))
    put(t, "gap", c + section(0) + section(1) + section(3))
    put(t, "nul-bytes", c + b"[MODEL00]\nModel=CD\x00RW\nInquiry=\x00\nFW-Range=1A00\x00-1A99\n"
        b"BINMask=*.B\x00IN\nVendor=V\nNote=\x00\x00\n[MOD\x00EL01]\nModel=X\n")
    put(t, "line-64k", c + b"[MODEL00]\nModel=" + stretch(ord("A"), 0xFF) + b"\n"
        + section(0)[10:] + b";" + stretch(ord(";"), 0x101 & 0xFF) + b"\n")
    put(t, "value-over-2047", c + section(0, inquiry=b"B" + bytes([0xFE, 9]), model=b"M" * 30,
                                         mask=b"*" + stretch(ord("?"), 12)))
    put(t, "duplicate-sections", c + section(0) + section(0, b"OTHER", skip=(b"Note",))
        + b"[model00]\nModel=FAIL\n")
    put(t, "unterminated-section", c + b"[MODEL00\nModel=A\n" + section(0) + b"[MODEL01")
    put(t, "no-final-newline", c + section(0)[:-1])
    put(t, "crlf-quotes-comments", c + b" [ MODEL00 ] \r\n; comment\r\n Model = \"CDRW\" \r\n"
        b"inquiry='OPTIDRV'\r\nFW-RANGE=  1A00-1A99  \r\nbinmask=\"*.BIN\r\nVendor=\"\"\r\n"
        b"Note='x\"\r\n")
    put(t, "fail-values", c + section(0, note=b"fail") + section(1, vendor=b"FAIL"))
    put(t, "model-fail", c + section(0, model=b"FAIL"))
    put(t, "hundred", c + b"".join(section(i, b"M%02d" % i) for i in range(100)))
    put(t, "incomplete-after-complete", c + section(0) + section(1, skip=(b"BINMask",)))
    put(t, "empty", c)
    put(t, "missing-file", b"\x80")
    put(t, "tiny-buffer", b"\x00" + section(0))
    put(t, "star-masks", c + section(0, mask=b"*?*?*?*?*?*?*?*?*?*?*?*.*;;; ;*.;" + b"*a" * 40))
    put(t, "raw-long-line", c + section(0) + b"Note2=" + b"N" * 70000 + b"\n" + section(1))
    put(t, "key-without-value", c + b"[MODEL00]\nModel\nModel=\nInquiry=\nFW-Range=\n"
        b"BINMask=\nVendor=\nNote=\n=x\n[]\n")


KEYWORD = b"FWBLOCK-MARKER\x00"
IMAGE_AREA = 327680


def field(text, size=25):
    return text[:size].ljust(size, b"\x00")


def record_head(model=b"CDRW-A100", inquiry=b"OPTIDRV CDRW-A100       ", rng=b"1A00-1A99",
                vendor=b"OPTIDRV", note=b"", tag=b"1A50.", size=262144, keyword=KEYWORD):
    head = keyword + field(model) + field(inquiry) + field(rng) + field(vendor) + field(note)
    head += field(tag, 5) + b"\x00" * 3 + struct.pack("<I", size)
    assert len(head) == 152
    return head


def package():
    t = "fuzz_package"
    none2, none48 = b"\x00" * 2, b"\x00" * 48
    put(t, "plain-no", b"\x00" + record_head())
    put(t, "plain-yes-nt", b"\x03" + record_head())
    put(t, "plain-yes-aspi-other-drive", b"\x05" + record_head())
    put(t, "size-zero", b"\x01" + record_head(size=0))
    put(t, "size-area", b"\x01" + record_head(size=IMAGE_AREA))
    put(t, "size-area-plus-one", b"\x01" + record_head(size=IMAGE_AREA + 1))
    put(t, "size-max", b"\x01" + record_head(size=0xFFFFFFFF))
    put(t, "template", b"\x00" + record_head() + none2 + none48 + b"TMPL")
    put(t, "any-drive-any-fw", b"\x03" + record_head(inquiry=b"--", rng=b"-AAAA-"))
    put(t, "flash-all", b"\x01" + record_head(note=b"FLASH-ALL and more"))
    put(t, "fields-full", b"\x01" + record_head(model=b"M" * 25, inquiry=b"I" * 25, rng=b"R" * 25,
                                                vendor=b"V" * 25, note=b"N" * 25, tag=b"T" * 5))
    put(t, "range-short", b"\x03" + record_head(rng=b"1A", tag=b""))
    put(t, "layout-a", b"\x03" + record_head() + b"\x05\x80" + none48)
    put(t, "layout-b-4000", b"\x03" + record_head() + none2
        + b"\x05\x80" + b"\x00" * 14 + b"DVD-ROM KVA-204" + b"\x00" * 17)
    put(t, "layout-b-4008", b"\x03" + record_head() + b"\x05\x80" + b"\x00" * 8
        + b"\x05\x80" + b"\x00" * 14 + b"dvd-rom kvb-517" + b"\x00" * 9)
    put(t, "layout-other-model", b"\x03" + record_head() + b"\x05\x80"
        + b"\x05\x80" + b"\x00" * 14 + b"DVD-ROM KVA-20" + b"\x00" * 18)
    put(t, "short-input", b"\x01" + record_head()[:60])


def template(before=100, area=4096, after=50, keyword=KEYWORD):
    return (b"abcde" * 100)[:before] + keyword + b"\x5a" * 137 + b"TMPL" + b"\x00" * (area - 4) \
        + bytes((0x80 + i % 97) for i in range(after))


def build_input(tpl, fw, tpl_tail=0, fw_tail=0, earlier=0):
    return struct.pack("<HBBB", len(tpl), tpl_tail, fw_tail, earlier) + tpl + fw


def builder():
    t = "fuzz_builder"
    fw = bytes((1 + i * 7 + (i >> 8)) & 0xFF for i in range(300))
    put(t, "complete", build_input(template(), fw))
    put(t, "no-keyword", build_input(template(keyword=b"FWBLOCK-MARKEr\x00"), fw))
    put(t, "f-before-keyword", build_input(b"xyzF" + template(before=0), fw))
    tpl = template(area=400, after=0)
    put(t, "exact-fit", build_input(tpl, bytes(400)))
    put(t, "one-byte-over", build_input(tpl, bytes(401)))
    put(t, "too-large", build_input(template(), b"", fw_tail=0x80 | 81))
    put(t, "area-size", build_input(template(area=8192), b"", tpl_tail=0xFF, fw_tail=0x80 | 80))
    put(t, "empty-firmware", build_input(template(), b""))
    put(t, "empty-template", build_input(b"", fw))
    put(t, "keyword-twice", build_input(template() + KEYWORD + b"\x11" * 200, fw))
    put(t, "earlier-larger-image", build_input(template(), fw[:10], earlier=8))
    put(t, "keyword-at-end", build_input(b"abc" + KEYWORD, fw[:1]))
    put(t, "partial-keyword-at-end", build_input(b"abc" + KEYWORD[:9], fw[:1]))
    put(t, "firmware-starts-tmpl", build_input(template(), b"TMPL" + fw))


def flash():
    t = "fuzz_flash"
    # set-up bytes: control, size step, chip, drive, seed; then one decision per command
    put(t, "aspi-plain", bytes([0x00, 0, 8, 0, 0]))
    put(t, "nt-plain", bytes([0x01, 0, 8, 0, 0]))
    put(t, "layout-a-chips", bytes([0x08, 0, 0, 0, 0]))
    put(t, "layout-a-nt-chip5", bytes([0x09, 0, 5, 0, 0]))
    put(t, "layout-b", bytes([0x10, 0, 2, 0, 0]))
    put(t, "layout-b-4008-nt", bytes([0x19, 0, 3, 0, 0]))
    put(t, "layout-b-unknown-chip", bytes([0x10, 0, 7, 0, 0, 0x12, 0x34, 0, 1]))
    put(t, "layout-a-and-b", bytes([0x28, 0, 4, 0, 0]))
    put(t, "flash-all", bytes([0x05, 0, 8, 0, 0]))
    put(t, "becoming-ready", bytes([0x01, 0, 8, 3, 0]))
    put(t, "disc-inside", bytes([0x00, 0, 8, 4, 0]))
    put(t, "uniform-image", bytes([0x40, 0, 8, 0, 0xFF]))
    put(t, "repeating-chunks-nt", bytes([0x81, 0, 8, 0, 0x11]))
    put(t, "odd-size", bytes([0xC1, 37, 8, 0, 0x5A]))
    # answers bent: every command past the scan gets a decision
    put(t, "sense-everywhere", bytes([0x01, 0, 8, 0, 0]) + bytes([1, 3, 0x11, 0]) * 40)
    put(t, "transport-everywhere", bytes([0x00, 0, 8, 0, 0]) + bytes([3, 4, 0x11]) * 40)
    put(t, "short-reads", bytes([0x41, 0, 8, 0, 0]) + bytes([5, 0, 0]) * 40)
    put(t, "flipped-reads", bytes([0x00, 0, 8, 0, 0]) + bytes([6, 9, 0, 0x80]) * 40)
    put(t, "hidden-failures", bytes([0x09, 0, 1, 0, 0]) + bytes([2]) * 60)
    put(t, "dropped-writes", bytes([0x01, 0, 8, 0, 0]) + bytes([8, 0x10, 0]) * 40)
    put(t, "status-bytes", bytes([0x00, 0, 8, 0, 0]) + bytes([4, 2]) * 40)
    # two flashes in one window; the second with another chip answer (profile length changes)
    put(t, "two-flashes-b", bytes([0x92, 0, 5, 0, 7]))
    put(t, "two-flashes-a-chip-changes", bytes([0x8B, 0, 0, 0, 3]) + bytes(30)
        + bytes([7, 0, 0, 128, 0xBF, 0xD7]))
    put(t, "two-flashes-first-fails", bytes([0x43, 0, 8, 0, 9]) + bytes(8) + bytes([1, 3, 0x0C, 0]))


if __name__ == "__main__":
    catalogue()
    package()
    builder()
    flash()
