#!/usr/bin/env python3
"""Writes the workbook template dll/xls.dll: a legacy Excel workbook (BIFF8,
MS-XLS, in a compound file, MS-CFB) with a VBA project (MS-OVBA) whose
modules are the macro sources beside this script. The project holds source
only, so the host compiles it on opening. The output depends on the sources
alone: running it twice gives the same bytes.

    make_xls.py OUTPUT          write the workbook
    make_xls.py --check FILE    exit 1 unless FILE is what would be written
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cfb  # noqa: E402
import ovba  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# The VBA modules: (name, source file, document module?). The document
# modules carry the code names the workbook stream gives the workbook and
# its one sheet.
MODULES = [
    ('ThisWorkbook', 'ThisWorkbook.cls', True),
    ('Sheet1', 'Sheet1.cls', True),
    ('Player', 'Player.bas', False),
    ('MovieFile', 'MovieFile.bas', False),
    ('Frames', 'Frames.bas', False),
    ('Clock', 'Clock.bas', False),
]
SHEET_NAME = 'Sheet1'
PROJECT_NAME = 'VBAProject'
PROJECT_ID = '{6B1C0F4E-3A52-4D1E-9C7B-2F5A8E0D4C31}'
ENCRYPTION_SEED = 0x4C       # any byte; fixed so the output is deterministic
CODE_PAGE = 1252             # the module sources are ASCII
LCID = 0x0409
# Shown in A1 until the macros replace it with the movie; stays when macros are off.
HINT = ('\u8bf7\u542f\u7528\u5b8f\uff0c\u4ee5\u64ad\u653e\u672c\u6587\u4ef6\u6240\u5728'
        '\u6587\u4ef6\u5939\u4e2d\u7684\u5b57\u7b26\u7535\u5f71 data.xxx\u3002 '
        'Please enable macros to play the character movie data.xxx from this workbook\'s folder.')
CJK_FONT = 'NSimSun'         # monospaced: a double-byte character is two columns wide
EXCEL_SHEET8_CLSID = bytes.fromhex('2008020000000000C000000000000046')  # {00020820-...-46}


def module_source(filename):
    """A module's source as the project stores it: CR LF line ends."""
    with open(os.path.join(HERE, filename), 'rb') as f:
        text = f.read()
    text = text.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
    text.decode('ascii')  # the sources must stay ASCII (see CODE_PAGE)
    return text


# ---- VBA project storage (MS-OVBA 2.2, 2.3) ----------------------------------

def _record(record_id, data):
    return record_id.to_bytes(2, 'little') + len(data).to_bytes(4, 'little') + data


def _u16(v):
    return v.to_bytes(2, 'little')


def _u32(v):
    return v.to_bytes(4, 'little')


def dir_stream():
    """The decompressed dir stream (MS-OVBA 2.3.4.2)."""
    name = PROJECT_NAME.encode('ascii')
    out = bytearray()
    out += _record(0x0001, _u32(0x00000001))          # PROJECTSYSKIND: 32-bit Windows
    out += _record(0x0002, _u32(LCID))                # PROJECTLCID
    out += _record(0x0014, _u32(LCID))                # PROJECTLCIDINVOKE
    out += _record(0x0003, _u16(CODE_PAGE))           # PROJECTCODEPAGE
    out += _record(0x0004, name)                      # PROJECTNAME
    out += _record(0x0005, b'') + _record(0x0040, b'')   # PROJECTDOCSTRING (+ Unicode)
    out += _record(0x0006, b'') + _record(0x003D, b'')   # PROJECTHELPFILEPATH (both paths)
    out += _record(0x0007, _u32(0))                   # PROJECTHELPCONTEXT
    out += _record(0x0008, _u32(0))                   # PROJECTLIBFLAGS
    # PROJECTVERSION: the Reserved field holds 4, not the record's size.
    out += _u16(0x0009) + _u32(4) + _u32(1) + _u16(0)
    out += _record(0x000C, b'') + _record(0x003C, b'')   # PROJECTCONSTANTS (+ Unicode)
    # No references: the macros bind late to everything outside VBA.
    out += _record(0x000F, _u16(len(MODULES)))        # PROJECTMODULES
    out += _record(0x0013, _u16(0xFFFF))              # PROJECTCOOKIE
    for module, _, document in MODULES:
        mbcs, utf16 = module.encode('ascii'), module.encode('utf-16-le')
        out += _record(0x0019, mbcs)                  # MODULENAME
        out += _record(0x0047, utf16)                 # MODULENAMEUNICODE
        out += _record(0x001A, mbcs) + _record(0x0032, utf16)   # MODULESTREAMNAME
        out += _record(0x001C, b'') + _record(0x0048, b'')      # MODULEDOCSTRING
        out += _record(0x0031, _u32(0))               # MODULEOFFSET: source from byte 0
        out += _record(0x001E, _u32(0))               # MODULEHELPCONTEXT
        out += _record(0x002C, _u16(0xFFFF))          # MODULECOOKIE
        out += _record(0x0022 if document else 0x0021, b'')    # MODULETYPE
        out += _record(0x002B, b'')                   # module terminator
    out += _record(0x0010, b'')                       # dir terminator
    return bytes(out)


def project_stream():
    """The PROJECT stream (MS-OVBA 2.3.1): the project's properties as text."""
    lines = ['ID="%s"' % PROJECT_ID]
    for module, _, document in MODULES:
        lines.append('Document=%s/&H00000000' % module if document else 'Module=%s' % module)
    lines += [
        'Name="%s"' % PROJECT_NAME,
        'HelpContextID="0"',
        'VersionCompatible32="393222000"',
        # Not protected, no password, visible.
        'CMG="%s"' % ovba.encrypt(bytes(4), PROJECT_ID, ENCRYPTION_SEED),
        'DPB="%s"' % ovba.encrypt(b'\x00', PROJECT_ID, ENCRYPTION_SEED + 1),
        'GC="%s"' % ovba.encrypt(b'\xff', PROJECT_ID, ENCRYPTION_SEED + 2),
        '',
        '[Host Extender Info]',
        '&H00000001={3832D640-CF90-11CF-8E43-00A0C911005A};VBE;&H00000000',
        '',
        '[Workspace]',
    ]
    lines += ['%s=0, 0, 0, 0, C' % module for module, _, _ in MODULES]
    return ('\r\n'.join(lines) + '\r\n').encode('ascii')


def projectwm_stream():
    """PROJECTwm (MS-OVBA 2.3.3): each module name in MBCS and in UTF-16."""
    out = bytearray()
    for module, _, _ in MODULES:
        out += module.encode('ascii') + b'\x00' + module.encode('utf-16-le') + b'\x00\x00'
    return bytes(out + b'\x00\x00')


def vba_project_stream():
    """_VBA_PROJECT (MS-OVBA 2.3.4.1): version 0xFFFF and no performance
    cache, which tells the host to compile the project from source. The
    undefined last field takes the value of the format's own example (3.1.1)."""
    return _u16(0x61CC) + _u16(0xFFFF) + b'\x00' + _u16(0x0001)


def add_vba_storage(root):
    project = root.storage('_VBA_PROJECT_CUR')
    project.stream('PROJECT', project_stream())
    project.stream('PROJECTwm', projectwm_stream())
    vba = project.storage('VBA')
    vba.stream('_VBA_PROJECT', vba_project_stream())
    vba.stream('dir', ovba.compress(dir_stream()))
    for module, filename, _ in MODULES:
        vba.stream(module, ovba.compress(module_source(filename)))


# ---- Workbook stream (MS-XLS, BIFF8) ------------------------------------------

def rec(record_type, data=b''):
    if len(data) > 8224:
        raise ValueError('record 0x%04X too long' % record_type)
    return _u16(record_type) + _u16(len(data)) + data


def xl_string(text, length_bytes=2):
    """XLUnicodeString (or ShortXLUnicodeString with length_bytes=1)."""
    try:
        body, high = text.encode('latin-1'), 0
    except UnicodeEncodeError:
        body, high = text.encode('utf-16-le'), 1
    return len(text).to_bytes(length_bytes, 'little') + bytes([high]) + body


def bof(kind):
    # BIFF8, built by Excel 2003's version fields; kind 0x0005 globals, 0x0010 sheet.
    return rec(0x0809, _u16(0x0600) + _u16(kind) + _u16(0x18AF) + _u16(0x07CD)
               + _u32(0x000080C9) + _u32(0x00000306))


def font(name, height=200, family=0, charset=0):
    # dyHeight (twips), grbit, icv (system text colour), bls (normal), sss, uls,
    # bFamily, bCharSet, reserved, name.
    return rec(0x0031, _u16(height) + _u16(0) + _u16(0x7FFF) + _u16(400) + _u16(0)
               + bytes([0, family, charset, 0]) + xl_string(name, 1))


def xf(font_index, format_index, style, attributes):
    """An XF record: a style XF (parent none) or a cell XF (parent: style 0).
    `attributes` is the byte of fAtr* flags."""
    protection = 0xFFF5 if style else 0x0001  # locked; style flag and parent 0xFFF
    return rec(0x00E0, _u16(font_index) + _u16(format_index) + _u16(protection)
               + bytes([0x20, 0x00, 0x00, attributes])  # bottom-aligned, no rotation
               + _u32(0) + _u32(0) + _u16(0x20C0))       # no borders, no fill


# Number formats every workbook carries (currency and accounting).
BUILT_IN_FORMATS = [
    (5, '"$"#,##0_);\\("$"#,##0\\)'),
    (6, '"$"#,##0_);[Red]\\("$"#,##0\\)'),
    (7, '"$"#,##0.00_);\\("$"#,##0.00\\)'),
    (8, '"$"#,##0.00_);[Red]\\("$"#,##0.00\\)'),
    (42, '_("$"* #,##0_);_("$"* \\(#,##0\\);_("$"* "-"_);_(@_)'),
    (41, '_(* #,##0_);_(* \\(#,##0\\);_(* "-"_);_(@_)'),
    (44, '_("$"* #,##0.00_);_("$"* \\(#,##0.00\\);_("$"* "-"??_);_(@_)'),
    (43, '_(* #,##0.00_);_(* \\(#,##0.00\\);_(* "-"??_);_(@_)'),
]
TEXT_FORMAT = 49   # the built-in format "@"
MOVIE_XF = 16      # cell XF of column A: text, CJK monospace font
MOVIE_FONT = 5     # font index 4 is never used, so the fifth FONT is index 5


def globals_substream(sheet_offset, sst_offset):
    out = bytearray()
    out += bof(0x0005)
    out += rec(0x00E1, _u16(1200))                 # InterfaceHdr: UTF-16
    out += rec(0x00C1, _u16(0))                    # Mms
    out += rec(0x00E2)                             # InterfaceEnd
    out += rec(0x005C, xl_string('Glyphreel').ljust(112, b' '))   # WriteAccess
    out += rec(0x0042, _u16(1200))                 # CodePage
    out += rec(0x0161, _u16(0))                    # DSF
    out += rec(0x013D, _u16(1))                    # RRTabId: one sheet
    out += rec(0x00D3)                             # ObProj: the workbook has a VBA project
    out += rec(0x01BA, xl_string('ThisWorkbook'))  # CodeName of the workbook
    for record_type in (0x0019, 0x0012, 0x0013, 0x01AF, 0x01BC):
        out += rec(record_type, _u16(0))           # no protection, no password
    # Window1: position, size, flags (scroll bars and tabs), first tab, one selected.
    out += rec(0x003D, _u16(0x0168) + _u16(0x001E) + _u16(0x4000) + _u16(0x2400)
               + _u16(0x0038) + _u16(0) + _u16(0) + _u16(1) + _u16(0x0258))
    out += rec(0x0040, _u16(0))                    # Backup
    out += rec(0x008D, _u16(0))                    # HideObj
    out += rec(0x0022, _u16(0))                    # Date1904
    out += rec(0x000E, _u16(1))                    # CalcPrecision
    out += rec(0x01B7, _u16(0))                    # RefreshAll
    out += rec(0x00DA, _u16(0))                    # BookBool
    for _ in range(4):
        out += font('Arial')
    out += font(CJK_FONT, height=180, family=3, charset=134)   # modern (fixed pitch), GB2312
    for index, code in BUILT_IN_FORMATS:
        out += rec(0x041E, _u16(index) + xl_string(code))
    out += xf(0, 0, True, 0x00)                    # style XF 0: Normal
    for i in range(1, 15):
        out += xf(1 if i in (1, 2) else 2 if i in (3, 4) else 0, 0, True, 0xF4)
    out += xf(0, 0, False, 0x00)                   # cell XF 15: the default
    out += xf(MOVIE_FONT, TEXT_FORMAT, False, 0x0C)   # cell XF 16: number format and font differ
    out += rec(0x0293, _u16(0x8000) + bytes([0, 0xFF]))   # Style: built-in Normal on XF 0
    out += rec(0x0160, _u16(0))                    # UsesELFs
    out += rec(0x0085, _u32(sheet_offset) + bytes([0, 0]) + xl_string(SHEET_NAME, 1))
    out += rec(0x008C, _u16(1) + _u16(86))         # Country: default, China
    sst_at = len(out)
    sst = _u32(1) + _u32(1) + xl_string(HINT)
    out += rec(0x00FC, sst)
    # ExtSST: buckets of 8 strings; the one bucket starts at the first string.
    out += rec(0x00FF, _u16(8) + _u32(sst_offset + 4 + 8) + _u16(4 + 8) + _u16(0))
    out += rec(0x000A)
    return bytes(out), sst_at


def sheet_substream(start, index_positions):
    """The sheet; `start` is its position in the stream, `index_positions`
    the stream positions of DefColWidth and DBCell (known after a first pass)."""
    def_col_width_at, dbcell_at = index_positions
    out = bytearray()
    out += bof(0x0010)
    # Index: rows 0..0, DefColWidth's position, one DBCell.
    out += rec(0x020B, _u32(0) + _u32(0) + _u32(1) + _u32(def_col_width_at) + _u32(dbcell_at))
    out += rec(0x000D, _u16(1))                    # CalcMode: automatic
    out += rec(0x000C, _u16(100))                  # CalcCount
    out += rec(0x000F, _u16(1))                    # CalcRefMode: A1
    out += rec(0x0011, _u16(0))                    # CalcIter
    out += rec(0x0010, bytes.fromhex('FCA9F1D24D62503F'))   # CalcDelta 0.001
    out += rec(0x005F, _u16(1))                    # CalcSaveRecalc
    out += rec(0x002A, _u16(0))                    # PrintRowCol
    out += rec(0x002B, _u16(0))                    # PrintGrid
    out += rec(0x0082, _u16(1))                    # GridSet
    out += rec(0x0080, _u16(0) * 4)                # Guts
    out += rec(0x0225, _u16(0) + _u16(0x00FF))     # DefaultRowHeight
    out += rec(0x0081, _u16(0x04C1))               # WsBool
    out += rec(0x0014)                             # Header
    out += rec(0x0015)                             # Footer
    out += rec(0x0083, _u16(0))                    # HCenter
    out += rec(0x0084, _u16(0))                    # VCenter
    # Setup: printer settings not valid (fNoPls), orientation not valid.
    out += rec(0x00A1, _u16(0) + _u16(100) + _u16(1) + _u16(1) + _u16(1) + _u16(0x0044)
               + _u16(0x012C) + _u16(0x012C) + bytes.fromhex('000000000000E03F') * 2 + _u16(1))
    found_def_col_width = start + len(out)
    out += rec(0x0055, _u16(8))                    # DefColWidth
    # ColInfo: column A, 255 characters wide, cell XF of the movie.
    out += rec(0x007D, _u16(0) + _u16(0) + _u16(0xFF00) + _u16(MOVIE_XF) + _u16(0) + _u16(0))
    out += rec(0x0200, _u32(0) + _u32(1) + _u16(0) + _u16(1) + _u16(0))   # Dimensions: A1
    row_at = len(out)
    # Row 0: columns 0..0, default height, XF 15 for the row.
    out += rec(0x0208, _u16(0) + _u16(0) + _u16(1) + _u16(0x00FF) + _u16(0) + _u16(0)
               + _u32(0x000F0100))
    out += rec(0x00FD, _u16(0) + _u16(0) + _u16(MOVIE_XF) + _u32(0))   # LabelSst: A1 = hint
    found_dbcell = start + len(out)
    # DBCell: back to the Row record; the first cell follows the row block at once.
    out += rec(0x00D7, _u32(len(out) - row_at) + _u16(0))
    # Window2: gridlines, headers, zeros, default header colour, outline, selected, paged.
    out += rec(0x023E, _u16(0x06B6) + _u16(0) + _u16(0) + _u32(0x40) + _u16(0) + _u16(0)
               + _u32(0))
    out += rec(0x01BA, xl_string(SHEET_NAME))      # CodeName of the sheet
    out += rec(0x000A)
    return bytes(out), (found_def_col_width, found_dbcell)


def workbook_stream():
    glob, sst_at = globals_substream(0, 0)
    glob, _ = globals_substream(len(glob), sst_at)
    sheet, positions = sheet_substream(len(glob), (0, 0))
    sheet, again = sheet_substream(len(glob), positions)
    assert again == positions
    return glob + sheet


def workbook():
    root = cfb.Storage('Root Entry', EXCEL_SHEET8_CLSID)
    # Excel never writes a workbook stream shorter than the mini stream
    # cutoff, and other writers pad theirs to it for Excel's sake: zeros
    # after the last EOF record are never read.
    root.stream('Workbook', workbook_stream().ljust(cfb.MINI_CUTOFF, b'\x00'))
    add_vba_storage(root)
    return cfb.write(root)


def main(argv):
    if len(argv) == 3 and argv[1] == '--check':
        with open(argv[2], 'rb') as f:
            same = f.read() == workbook()
        if not same:
            print('%s differs from what %s writes' % (argv[2], os.path.basename(argv[0])), file=sys.stderr)
        return 0 if same else 1
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    data = workbook()
    with open(argv[1], 'wb') as f:
        f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
