#!/usr/bin/env python3
"""Writes small Jet 3 / Jet 4 databases holding a ledger table 库, for the carry-over tests.

    tests/jet/make_jet_ledgers.py tests/data/jet/generated
    tests/jet/make_jet_ledgers.py --large 100000 DIR     only DIR/ledger_jet4_100000.mdb (timing)

For every file NAME.mdb it also writes NAME.rows.jsonl: the rows a reader must get, in stored
order, one JSON array of the nine fields a line (null for NULL). The files carry only what
readers use: the header page, MSysObjects' definition and data rows, the table definition, its
usage map and data pages. There are no indexes.
"""
import json
import os
import struct
import sys

COLUMNS = ["标号", "名称", "类", "价格", "数量", "总额", "日期", "方法", "交易号码"]
WIDTHS = [None, 20, 20, 20, 20, 20, 20, 4, 20]
T_BYTE, T_INT, T_LONG, T_TEXT, T_OLE, T_MEMO = 0x02, 0x03, 0x04, 0x0A, 0x0B, 0x0C
HEADER_KEY = bytes([0xC7, 0xDA, 0x39, 0x6B])


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(data)
    i = j = 0
    for n in range(len(out)):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] ^= s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


class Format:
    def __init__(self, jet4, codepage="cp1252"):
        self.jet4 = jet4
        self.page = 4096 if jet4 else 2048
        self.rco = 0x0C if jet4 else 0x08  # row count offset on a data page
        self.codepage = codepage

    def text(self, s, compressible=True):
        """A text value as Jet stores it."""
        if not self.jet4:
            # Windows' code page 936 has the euro sign at 0x80; Python's gbk codec lacks it.
            return b"".join(b"\x80" if c == "€" else c.encode(self.codepage) for c in s)
        raw = s.encode("utf-16-le")
        units = [raw[i:i + 2] for i in range(0, len(raw), 2)]
        # A text starting with U+FEFF would read as the compression mark: it is stored compressed.
        marked = raw[:2] == b"\xff\xfe"
        # Access compresses only when no character has a zero low byte and it saves room.
        if not marked and (not compressible or any(u[0] == 0 for u in units)):
            return raw
        out = bytearray(b"\xff\xfe")
        compressed = True
        for u in units:
            narrow = u[1] == 0
            if narrow != compressed:
                out.append(0)
                compressed = narrow
            out += u[:1] if narrow else u
        return bytes(out) if marked or len(out) < len(raw) else raw

    def name(self, s):
        if self.jet4:
            b = s.encode("utf-16-le")
            return struct.pack("<H", len(b)) + b
        b = s.encode(self.codepage)
        return struct.pack("<B", len(b)) + b


class Column:
    def __init__(self, name, type_, size=None):
        self.name, self.type = name, type_
        self.fixed = type_ in (T_BYTE, T_INT, T_LONG)
        self.size = {T_BYTE: 1, T_INT: 2, T_LONG: 4}.get(type_, size)


def pack_row(fmt, cols, values):
    """One row: column count, fixed part, variable part, offset table, null mask."""
    fixed = bytearray()
    var_parts = []
    nullmask = bytearray((len(cols) + 7) // 8)
    for n, (c, v) in enumerate(zip(cols, values)):
        if v is not None:
            nullmask[n // 8] |= 1 << (n % 8)
        if c.fixed:
            fixed += struct.pack({1: "<B", 2: "<h", 4: "<i"}[c.size], 0 if v is None else v)
        elif v is None:
            var_parts.append(b"")
        elif isinstance(v, bytes):  # stored as given: a damaged field
            var_parts.append(v)
        elif c.type == T_MEMO:  # held in the row itself: length with the in-row flag, 8 unused bytes
            data = fmt.text(v)
            var_parts.append(struct.pack("<I", len(data) | 0x80000000) + bytes(8) + data)
        else:
            var_parts.append(fmt.text(v) if c.type == T_TEXT else v)
    head = struct.pack("<H", len(cols)) if fmt.jet4 else struct.pack("<B", len(cols))
    body = bytearray(head + fixed)
    offsets = []
    for part in var_parts:
        offsets.append(len(body))
        body += part
    eod = len(body)
    if fmt.jet4:
        tail = struct.pack("<H", eod) + b"".join(struct.pack("<H", o) for o in reversed(offsets))
        tail += struct.pack("<H", len(offsets))
    else:
        tail = bytes([eod]) + bytes(reversed(offsets)) + bytes([len(offsets)])
    row = bytes(body + tail + nullmask)
    if not fmt.jet4:
        assert len(row) <= 256, "Jet 3 rows over 256 bytes need a jump table"
    return row


DELETED, OVERFLOW = 0x4000, 0x8000  # flags in a row's offset


def data_page(fmt, tdef_page, rows):
    """rows: bytes, or (bytes, flags) for a deleted row or an overflow pointer."""
    hdr = bytearray(fmt.page)
    hdr[0], hdr[1] = 0x01, 0x01
    struct.pack_into("<I", hdr, 4, tdef_page)
    struct.pack_into("<H", hdr, fmt.rco, len(rows))
    end = fmt.page
    for i, r in enumerate(rows):
        r, flags = r if isinstance(r, tuple) else (r, 0)
        start = end - len(r)
        hdr[start:end] = r
        struct.pack_into("<H", hdr, fmt.rco + 2 + 2 * i, start | flags)
        end = start
    free = end - (fmt.rco + 2 + 2 * len(rows))
    assert free >= 0
    struct.pack_into("<H", hdr, 2, free)
    return bytes(hdr)


def fill_pages(fmt, tdef_page, rows):
    """Packs rows into as few data pages as they fit in, keeping their order."""
    pages, cur, used = [], [], fmt.rco + 2
    for r in rows:
        size = len(r[0]) if isinstance(r, tuple) else len(r)
        if used + size + 2 > fmt.page:
            pages.append(cur)
            cur, used = [], fmt.rco + 2
        cur.append(r)
        used += size + 2
    if cur or not pages:
        pages.append(cur)
    return [data_page(fmt, tdef_page, p) for p in pages]


def tdef_page(fmt, cols, num_rows, system, usage_ref, free_ref):
    p = bytearray(fmt.page)
    p[0], p[1] = 0x02, 0x01
    if not fmt.jet4:
        p[2:4] = b"VC"
    o = 16 if fmt.jet4 else 12  # number of rows
    struct.pack_into("<I", p, o, num_rows)
    base = 40 if fmt.jet4 else 20  # table type
    nvar = sum(1 for c in cols if not c.fixed)
    p[base] = 0x53 if system else 0x4E
    struct.pack_into("<HHHIIII", p, base + 1, len(cols), nvar, len(cols), 0, 0, usage_ref, free_ref)
    pos = base + 23
    fixed_off = var_num = 0
    for n, c in enumerate(cols):
        if fmt.jet4:
            e = bytearray(25)
            e[0] = c.type
            struct.pack_into("<HHH", e, 5, n, 0 if c.fixed else var_num, n)
            if c.type in (T_TEXT, T_MEMO):
                struct.pack_into("<H", e, 11, 0x0409)
                e[16] = 0x01  # compressed unicode allowed
            e[15] = 0x01 | 0x02 if c.fixed else 0x02
            struct.pack_into("<HH", e, 21, fixed_off if c.fixed else 0, c.size * 2 if c.type == T_TEXT else c.size)
        else:
            e = bytearray(18)
            e[0] = c.type
            struct.pack_into("<HHH", e, 1, n, 0 if c.fixed else var_num, n)
            if c.type in (T_TEXT, T_MEMO):
                struct.pack_into("<HH", e, 7, 0x0409, 936 if fmt.codepage == "gbk" else 1252)
            e[13] = 0x01 | 0x02 if c.fixed else 0x02
            struct.pack_into("<HH", e, 14, fixed_off if c.fixed else 0, c.size)
        if c.fixed:
            fixed_off += c.size
        else:
            var_num += 1
        p[pos:pos + len(e)] = e
        pos += len(e)
    for c in cols:
        nm = fmt.name(c.name)
        p[pos:pos + len(nm)] = nm
        pos += len(nm)
    struct.pack_into("<I", p, 8, pos - 8)
    if fmt.jet4:
        struct.pack_into("<H", p, 2, fmt.page - pos - 8)
    return bytes(p)


def header_page(fmt, password, db_key, codepage_id):
    p = bytearray(fmt.page)
    p[0:4] = b"\x00\x01\x00\x00"
    p[4:20] = b"Standard Jet DB\x00"
    struct.pack_into("<I", p, 0x14, 1 if fmt.jet4 else 0)
    clear = bytearray(128)  # the part from 0x18 that is RC4-encoded
    struct.pack_into("<H", clear, 0x3C - 0x18, codepage_id)
    struct.pack_into("<I", clear, 0x3E - 0x18, db_key)
    if fmt.jet4:
        created = 45000.25  # creation date, a day number
        struct.pack_into("<d", clear, 0x72 - 0x18, created)
        struct.pack_into("<I", clear, 0x6E - 0x18, 0x0409)
        mask = struct.pack("<i", int(created)) * 10
        pw = password.encode("utf-16-le").ljust(40, b"\x00")
        clear[0x42 - 0x18:0x42 - 0x18 + 40] = bytes(a ^ b for a, b in zip(pw, mask))
        p[0x18:0x18 + 128] = rc4(HEADER_KEY, clear)
    else:
        clear[0x42 - 0x18:0x42 - 0x18 + 20] = password.encode("ascii").ljust(20, b"\x00")
        p[0x18:0x18 + 126] = rc4(HEADER_KEY, clear[:126])
    return bytes(p)


def usage_map_type0(fmt, pages):
    bits = bytearray((max(pages, default=0) // 8) + 1)
    for pg in pages:
        bits[pg // 8] |= 1 << (pg % 8)
    return b"\x00" + struct.pack("<I", 0) + bytes(bits)


def write_db(path, fmt, table_cols, rows, password="qzvmrt", db_key=0, codepage_id=1252,
             table_name="库", indirect_map=False, extra=()):
    """extra: (position, row, flags) stored among the rows but not among those a reader gets."""
    sys_cols = [Column("Id", T_LONG), Column("Name", T_TEXT, 255), Column("Type", T_INT),
                Column("Flags", T_LONG), Column("LvProp", T_OLE, 0)]
    # Pages: 0 header, 1 global map, 2 MSysObjects, 3 its rows, 4 the table, 5 usage maps,
    # 6 the table's map page (indirect maps only), then the table's data pages.
    first_data = 7 if indirect_map else 6
    packed = [pack_row(fmt, table_cols, r) for r in rows]
    for pos, row, flags in sorted(extra, reverse=True):
        packed.insert(pos, (row if flags == OVERFLOW else pack_row(fmt, table_cols, row), flags))
    data_pages = fill_pages(fmt, 4, packed)
    table_pages = list(range(first_data, first_data + len(data_pages)))
    catalog = [pack_row(fmt, sys_cols, [2, "MSysObjects", 1, -2147483646, None]),
               pack_row(fmt, sys_cols, [4, table_name, 1, 0, None])]
    if indirect_map:
        bitmap = bytearray(fmt.page)
        bitmap[0], bitmap[1] = 0x05, 0x01
        for pg in table_pages:
            bitmap[4 + pg // 8] |= 1 << (pg % 8)
        table_map = b"\x01" + struct.pack("<I", 6) + bytes(60)
    else:
        table_map = usage_map_type0(fmt, table_pages)
    maps = [usage_map_type0(fmt, [3]), usage_map_type0(fmt, []), table_map, usage_map_type0(fmt, [])]
    pages = [header_page(fmt, password, db_key, codepage_id), None,
             tdef_page(fmt, sys_cols, 2, True, (5 << 8) | 0, (5 << 8) | 1),
             data_page(fmt, 2, catalog),
             tdef_page(fmt, table_cols, len(rows), False, (5 << 8) | 2, (5 << 8) | 3),
             data_page(fmt, 0, maps)]
    if indirect_map:
        pages.append(bytes(bitmap))
    pages += data_pages
    glob = bytearray(fmt.page)
    glob[0], glob[1] = 0x05, 0x01
    for pg in range(len(pages)):
        glob[4 + pg // 8] |= 1 << (pg % 8)
    pages[1] = bytes(glob)
    if db_key:
        pages = [pages[0]] + [rc4(struct.pack("<I", db_key ^ n), pg) for n, pg in enumerate(pages) if n > 0]
    with open(path + ".mdb", "wb") as f:
        f.write(b"".join(pages))
    with open(path + ".rows.jsonl", "w", encoding="utf-8") as f:
        for r in rows:
            line = json.dumps([None if isinstance(v, bytes) else v for v in r], ensure_ascii=False)
            # Escaped: Qt's JSON reader drops a U+FEFF that starts a string.
            f.write(line.replace("\ufeff", "\\ufeff").replace("\ufffe", "\\ufffe") + "\n")


def ledger_columns(widths=WIDTHS, names=COLUMNS, types=None):
    types = types or [T_INT] + [T_TEXT] * 8
    return [Column(n, t) if w is None else Column(n, t, w) for n, w, t in zip(names, widths, types)]


def small_rows():
    N = None
    return [
        [1, "五金", N, N, N, N, N, "进货", N],
        [1, "文具", N, N, N, N, N, "出货", N],
        [2, "螺丝钉", "五金", N, N, N, N, "进货", N],
        [2, "铅笔", "文具", N, N, N, N, "进货", N],
        [3, "螺丝钉", "五金", "0.5", "200", "100", "03-5-6", "进货", "123456"],
        [3, "铅笔", "文具", "1.2", "10", "12", "2024/6/15", "出货", "98765"],
        [2, "𠀀字笔", "文具", N, N, N, N, "进货", N],
        [3, "𠀀字笔", "文具", "", "", "0", "", "出货", ""],
        [1, "ＡＢＣ全角", N, N, N, N, N, "进货", N],
        [2, "一号钉", "五金", N, N, N, N, "进货", N],
        [3, "一号钉", "五金", "3", "4", "12", "2024-1-1", "进货", "7"],
        [2, "Model-X 型", "五金", N, N, N, N, "出货", N],
        [N, "无标号", N, N, N, N, N, N, N],
        [1, "一二三四五六七八九十一二三四五六七八九十", N, N, N, N, N, "进货", N],
        [3, "abc", "文具", "12.5", "2", "25", "99-12-31", "出货", "4294967295"],
    ]


def large_rows(count):
    cats = ["五金", "文具", "日杂", "饮料", "Tools"]
    rows = [[1, c, None, None, None, None, None, "进货", None] for c in cats]
    for i in range(count - len(rows)):
        c = cats[i % len(cats)]
        name = f"{c}货品{i % 37}"
        price, qty = (i % 97) + 0.5, i % 13
        total = price * qty
        rows.append([3, name, c, str(price), str(qty), f"{total:g}", f"24-{i % 12 + 1}-{i % 28 + 1}",
                     "进货" if i % 3 else "出货", str(100000 + i)])
    return rows


def gbk_rows():
    N = None
    return [
        [1, "五金", N, N, N, N, N, "进货", N],
        [2, "螺丝钉", "五金", N, N, N, N, "进货", N],
        [3, "螺丝钉", "五金", "0.5", "200", "100", "03-5-6", "出货", "123456"],
        [3, "螺丝钉", "五金", "", "", "0", "", "进货", ""],
        [1, "镕铓鐢", N, N, N, N, N, "出货", N],
        [3, "欧元€€€€€€€€", "五金", "€5", "1", "€5", "24-1-1", "进货", "8"],
    ]


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--large":
        n, out = int(sys.argv[2]), sys.argv[3]
        os.makedirs(out, exist_ok=True)
        write_db(os.path.join(out, f"ledger_jet4_{n}"), Format(True), ledger_columns(), large_rows(n),
                 indirect_map=True)
        return
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    j4 = Format(True)
    N = None
    # A row deleted in Access stays on its page, flagged.
    deleted = [(5, [3, "已删除", "五金", "1", "1", "1", "24-1-1", "出货", "555"], DELETED)]
    write_db(os.path.join(out, "ledger_jet4"), j4, ledger_columns(), small_rows(), extra=deleted)
    write_db(os.path.join(out, "ledger_jet4_encoded"), j4, ledger_columns(), small_rows(),
             db_key=0x5A3C96E1)
    write_db(os.path.join(out, "ledger_jet4_large"), j4, ledger_columns(), large_rows(3000),
             indirect_map=True)
    write_db(os.path.join(out, "ledger_jet3_gbk"), Format(False, "gbk"), ledger_columns(), gbk_rows(),
             codepage_id=936)
    # Refused: a missing column, a wider column holding a longer text, another table name.
    write_db(os.path.join(out, "refused_columns"), j4, ledger_columns()[:8], [r[:8] for r in small_rows()[:3]])
    wide = ledger_columns(widths=[None, 30, 20, 20, 20, 20, 20, 4, 20])
    long_rows = small_rows()[:3] + [[2, "超长名称" * 6, "五金", None, None, None, None, "进货", None]]
    write_db(os.path.join(out, "refused_too_long"), j4, wide, long_rows)
    # An updated row that no longer fitted: a pointer to where it was moved (page 6, row 0).
    write_db(os.path.join(out, "refused_overflow"), j4, ledger_columns(), small_rows()[:3],
             extra=[(2, struct.pack("<I", 6 << 8), OVERFLOW)])
    write_db(os.path.join(out, "refused_no_table"), j4, ledger_columns(), small_rows()[:2], table_name="账")
    # Columns widened or retyped in Access: a long integer 标号, a memo 名称, wider texts; texts
    # that start with U+FEFF or U+FFFE.
    widened = ledger_columns(widths=[None, 0, 50, 50, 50, 50, 50, 10, 255],
                             types=[T_LONG, T_MEMO] + [T_TEXT] * 7)
    marks = small_rows()[:3] + [[3, "\ufeff螺丝钉", "\ufeffabc", "\ufffe1", "2", "2", "24-1-1", "进货", "\ufeff"],
                                [2, "\ufffe铅笔", "文具", N, N, N, N, "进货", N],
                                [-32768, "最小", N, N, N, N, N, "进货", N], [32767, "最大", N, N, N, N, N, "进货", N]]
    write_db(os.path.join(out, "ledger_jet4_widened"), j4, widened, marks)
    write_db(os.path.join(out, "refused_kind_too_big"), j4, widened, small_rows()[:2] + [[32768, "大", N, N, N, N, N, "进货", N]])
    bytes_ = ledger_columns(types=[T_BYTE] + [T_TEXT] * 8)
    write_db(os.path.join(out, "ledger_jet3_byte_kind"), Format(False, "gbk"), bytes_, gbk_rows(), codepage_id=936)
    # A compressed text whose last two-byte character lost its second byte.
    write_db(os.path.join(out, "refused_cut_text"), j4, ledger_columns(),
             small_rows()[:2] + [[2, b"\xff\xfeab\x00\x34", "五金", N, N, N, N, "进货", N]])


if __name__ == "__main__":
    main()
