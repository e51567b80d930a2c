#!/usr/bin/python3
"""The workbook template dll/xls.dll against its generator and against
readers written by others: the worked compression examples of MS-OVBA,
libgsf's VBA dump, xlrd and olefile.

    workbook_template_test.py SOURCE_DIR
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else
                             os.path.join(os.path.dirname(__file__), '..', '..'))
sys.path.insert(0, os.path.join(SOURCE_DIR, 'tools', 'xls'))
import cfb  # noqa: E402
import make_xls  # noqa: E402
import ovba  # noqa: E402

TEMPLATE = os.path.join(SOURCE_DIR, 'dll', 'xls.dll')


class Compression(unittest.TestCase):
    # The worked examples of MS-OVBA section 3.2: (decompressed, compressed).
    EXAMPLES = [
        ('no compression', b'abcdefghijklmnopqrstuv.',
         '01 19 B0 00 61 62 63 64 65 66 67 68 00 69 6A 6B 6C 6D 6E 6F 70 00 71 72 73 74 75 76 2E'),
        ('normal compression', b'#aaabcdefaaaaghijaaaaaklaaamnopqaaaaaaaaaaaarstuvwxyzaaa',
         '01 2F B0 00 23 61 61 61 62 63 64 65 82 66 00 70 61 67 68 69 6A 01 38 08 61 6B 6C 00 20 6D 6E'
         ' 6F 70 06 71 02 70 04 00 72 73 74 75 76 10 77 78 79 7A 00 2C'),
        ('maximum compression', b'a' * 73, '01 03 B0 02 61 45 00'),
    ]

    def test_specification_examples_compress_and_decompress(self):
        for name, plain, packed in self.EXAMPLES:
            with self.subTest(name):
                self.assertEqual(ovba.compress(plain), bytes.fromhex(packed))
                self.assertEqual(ovba.decompress(bytes.fromhex(packed)), plain)

    def test_round_trip_across_chunks_and_incompressible_data(self):
        # Several 4096-byte chunks, long runs, and a chunk that does not shrink.
        samples = [b'', b'x', bytes(range(256)) * 40, b'ab' * 5000,
                   bytes((i * 7919 + (i >> 3)) & 0xFF for i in range(9000)),
                   make_xls.module_source('Player.bas') * 3]
        for data in samples:
            with self.subTest(size=len(data)):
                # A chunk that does not shrink is stored raw, 4096 bytes with
                # zeros after the data; text never comes to that.
                self.assertEqual(ovba.decompress(ovba.compress(data))[:len(data)], data)

    def test_decompress_refuses_a_copy_before_the_chunk(self):
        with self.assertRaises(ValueError):
            ovba.decompress(bytes.fromhex('01 03 B0 01 FF FF 00'))


class Generator(unittest.TestCase):
    def test_committed_template_is_what_the_generator_writes(self):
        with open(TEMPLATE, 'rb') as f:
            committed = f.read()
        self.assertEqual(committed, make_xls.workbook(),
                         'dll/xls.dll is stale: run tools/xls/make_xls.py dll/xls.dll')

    def test_output_is_deterministic(self):
        self.assertEqual(make_xls.workbook(), make_xls.workbook())

    def test_red_black_colouring_of_directory_trees(self):
        # Every root-to-leaf path of each storage's tree passes the same
        # number of black nodes, and no red node has a red child.
        for n in range(1, 40):
            root = cfb.Storage('Root Entry')
            for i in range(n):
                root.stream('s%02d' % i, b'x')
            data = cfb.write(root)
            entries = [data[1024 + 128 * i: 1024 + 128 * (i + 1)] for i in range(n + 1)]
            field = lambda e, at: int.from_bytes(e[at:at + 4], 'little')

            def black_height(i):
                if i == 0xFFFFFFFF:
                    return 1
                e = entries[i]
                left, right = field(e, 68), field(e, 72)
                if e[67] == 0:  # red
                    for child in (left, right):
                        self.assertTrue(child == 0xFFFFFFFF or entries[child][67] == 1)
                hl, hr = black_height(left), black_height(right)
                self.assertEqual(hl, hr, 'unequal black heights with %d entries' % n)
                return hl + (1 if e[67] == 1 else 0)

            tree_root = field(entries[0], 76)
            self.assertEqual(entries[tree_root][67], 1)
            black_height(tree_root)

    def test_module_sources_stay_ascii_and_small(self):
        # ASCII keeps them the same in every code page; one compression chunk
        # each keeps them within what libgsf's reader handles.
        for name, filename, _ in make_xls.MODULES:
            with self.subTest(name):
                source = make_xls.module_source(filename)
                self.assertLess(len(source), 4096)
                self.assertTrue(source.startswith(b'Attribute VB_Name = "%s"\r\n' % name.encode()))


class OutsideReaders(unittest.TestCase):
    def test_libgsf_dumps_every_module_source(self):
        run = subprocess.run(['gsf-vba-dump', TEMPLATE], capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertNotIn(b'WARNING', run.stderr)  # e.g. a bad chunk or element count
        dumped = {m.group(1).decode(): m.group(2) for m in re.finditer(
            rb'<module name="([^"]+)">\n<!\[CDATA\[(.*?)\]\]>\n</module>', run.stdout, re.S)}
        self.assertEqual(sorted(dumped), sorted(name for name, _, _ in make_xls.MODULES))
        for name, filename, _ in make_xls.MODULES:
            with self.subTest(name):
                source = make_xls.module_source(filename)
                # libgsf 1.14.50 prints whatever its buffer holds after the
                # last token of a partly used flag byte, so only the source's
                # own length is compared.
                self.assertEqual(dumped[name][:len(source)], source)

    def test_libgsf_lists_the_storages(self):
        run = subprocess.run(['gsf', 'list', TEMPLATE], capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        for path in ['Workbook', '_VBA_PROJECT_CUR/PROJECT', '_VBA_PROJECT_CUR/PROJECTwm',
                     '_VBA_PROJECT_CUR/VBA/dir', '_VBA_PROJECT_CUR/VBA/_VBA_PROJECT']:
            self.assertRegex(run.stdout, r'\s%s\n' % re.escape(path))

    def test_xlrd_reads_the_sheet_and_the_hint(self):
        import xlrd
        book = xlrd.open_workbook(TEMPLATE, formatting_info=True)
        self.assertEqual(book.sheet_names(), ['Sheet1'])
        sheet = book.sheet_by_index(0)
        hint = sheet.cell_value(0, 0)
        self.assertIn('\u542f\u7528\u5b8f', hint)   # "enable macros" in Chinese
        self.assertIn('enable macros', hint)
        # A1 and column A: the text format and the CJK monospace font.
        xf = book.xf_list[sheet.cell_xf_index(0, 0)]
        self.assertEqual(book.format_map[xf.format_key].format_str, '@')
        self.assertEqual(book.font_list[xf.font_index].name, make_xls.CJK_FONT)
        self.assertEqual(sheet.colinfo_map[0].xf_index, sheet.cell_xf_index(0, 0))

    def test_olefile_reads_the_streams(self):
        import olefile
        with olefile.OleFileIO(TEMPLATE) as ole:
            self.assertEqual(ole.openstream('_VBA_PROJECT_CUR/VBA/_VBA_PROJECT').read(),
                             bytes.fromhex('CC61FFFF000100'))
            project = ole.openstream('_VBA_PROJECT_CUR/PROJECT').read().decode('ascii')
            self.assertIn('Document=ThisWorkbook/&H00000000\r\n', project)
            self.assertIn('Document=Sheet1/&H00000000\r\n', project)
            self.assertRegex(project, r'\r\nGC="[0-9A-F]+"\r\n')
            for name, filename, _ in make_xls.MODULES:
                stream = ole.openstream('_VBA_PROJECT_CUR/VBA/' + name).read()
                self.assertEqual(ovba.decompress(stream), make_xls.module_source(filename))


if __name__ == '__main__':
    unittest.main()
