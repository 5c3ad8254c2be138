#!/usr/bin/env python3
"""Runs the manifest checker on files and standard input and compares its output byte for byte.

Usage: check_tool_test.py --work DIR -- CHECKER_COMMAND...
"""
import os
import subprocess
import sys

from testbed.checks import Checks

SCHEMA = '"schema":"quorvel.download.v1"'
OK_BODY = (
    '{' + SCHEMA + ',"files":['
    '{"name":"Setup \\u00e9 \\"x\\".msi","url":"https://h/a\\/b","size":1536,'
    '"modified_at":"2026-05-25T10:14:01Z","ext":"msi"},'
    '{"name":"new\xf0\x9f\x98\x80\xff.exe","size":-1,"modified_at":"2027-01-01","ext":".Exe"}]}'
).encode('latin-1')
OK_JSON = (
    '{"ok":true,"status":"2 file(s) available \\u2014 double-click any row to install.",'
    '"schema":"quorvel.download.v1","files":['
    '{"name":"new\\ud83d\\ude00\\ufffd.exe","url":"","size":-1,"modified_at":"2027-01-01","ext":".Exe","sha256":"",'
    '"cells":["new\\ud83d\\ude00\\ufffd.exe","2027-01-01","\\u2014","EXE"]},'
    '{"name":"Setup \\u00e9 \\"x\\".msi","url":"https://h/a/b","size":1536,"modified_at":"2026-05-25T10:14:01Z",'
    '"ext":"msi","sha256":"","cells":["Setup \\u00e9 \\"x\\".msi","2026-05-25","1.50 KB","MSI"]}],'
    '"problems":[]}\n'
).encode()
# One entry the launcher lists but will not download: exit 0, or 3 with --strict.
HTTP_BODY = ('{' + SCHEMA + ',"files":[{"name":"a","url":"http://h/a"}]}').encode()
# Names the launcher shows with U+FFFD and refuses, a refused type, and an ext that is not the name's.
NAMES_BODY = ('{' + SCHEMA + ',"files":[{"name":"a\\u202etxt.exe","ext":"txt","modified_at":"3"},'
              '{"name":"Run.BaT","modified_at":"2"},{"name":"b.msi","ext":"txt","modified_at":"1"}]}').encode()


def rejected(text):
    return ('{"ok":false,"status":"' + text + '"}\n').encode()


CHECKS = Checks(keep_going=True)


def run(command, args, stdin=None):
    result = subprocess.run(command + args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=300)
    return result.returncode, result.stdout, result.stderr


def expect(label, got, want):
    CHECKS.check_eq(got, want, label)


def main():
    argv = sys.argv[1:]
    work = argv[argv.index('--work') + 1]
    command = [part for part in argv[argv.index('--') + 1:] if part]
    os.makedirs(work, exist_ok=True)

    def write(name, data):
        path = os.path.join(work, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    # The checker runs under Wine for the Windows build, where paths relative to the work folder
    # work as well as native ones; run inside it.
    os.chdir(work)
    write('ok.json', OK_BODY)
    write('html.json', b'\r\n <!DOCTYPE html><html></html>')
    write('key.json', b'{}')
    write('entry.json', ('{' + SCHEMA + ',"files":[{"size":"5"}]}').encode())
    write('schema.json', b'{"schema":"Quorvel.download.v1"}')
    write('limit.json', ('{' + SCHEMA + '}').encode().ljust(16777216, b' '))
    write('large.json', ('{' + SCHEMA + '}').encode().ljust(16777217, b' '))
    write('many.json', ('{' + SCHEMA + ',"files":[' + ','.join(['{}'] * 10001) + ']}').encode())

    code, out, _ = run(command, ['--json', 'ok.json'])
    expect('accepted manifest, json', (code, out), (0, OK_JSON))
    code, out, _ = run(command, ['--json', '-'], stdin=OK_BODY)
    expect('standard input, json', (code, out), (0, OK_JSON))
    code, out, _ = run(command, ['-', '--json'], stdin=b'{}')
    expect('option after the file', (code, out), (1, rejected('Bad JSON key.')))
    code, out, _ = run(command, ['ok.json'])
    lines = out.decode('utf-8').splitlines()
    expect('table header', lines[0].split(), ['File', 'Date', 'Size', 'Type', 'Checksum', 'URL'])
    expect('table first row', lines[1].split()[:4], ['new\U0001F600\ufffd.exe', '2027-01-01', '\u2014', 'EXE'])
    expect('table status line', (code, lines[-1]), (0, '2 file(s) available \u2014 double-click any row to install.'))

    for label, name, text in [
        ('html reply', 'html.json',
         'Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ on the server.'),
        ('bad key', 'key.json', 'Bad JSON key.'),
        ('bad entry', 'entry.json', 'Bad file entry.'),
        ('wrong schema', 'schema.json', "Unexpected manifest schema: 'Quorvel.download.v1'."),
        ('over the size limit', 'large.json', 'Manifest is unreasonably large; refusing to read more.'),
        ('over the entry limit', 'many.json', 'Manifest lists more than 10,000 files; refusing.'),
    ]:
        code, out, _ = run(command, ['--json', name])
        expect(label + ', json', (code, out), (1, rejected(text)))
        code, out, _ = run(command, [name])
        expect(label + ', text', (code, out), (1, (text + '\n').encode()))

    write('http.json', HTTP_BODY)
    for label, args, want in [('problems, plain', ['http.json'], 0), ('problems, strict', ['--strict', 'http.json'], 3),
                              ('problems, strict json', ['--json', '--strict', 'http.json'], 3),
                              ('no problems, strict', ['--strict', 'ok.json'], 0),
                              ('rejected, strict', ['--strict', 'key.json'], 1)]:
        code, out, _ = run(command, args)
        expect(label + ' exit code', code, want)
    code, out, _ = run(command, ['--json', 'http.json'])
    expect('problems listed', out.endswith(b'"problems":["Entry 1 (a): http URL without sha256; '
                                           b'the launcher will refuse it."]}\n'), True)

    write('names.json', NAMES_BODY)
    code, out, _ = run(command, ['--json', '--strict', 'names.json'])
    expect('names, strict exit code', code, 3)
    expect('names shown as the launcher shows them', b'"cells":["a\\ufffdtxt.exe","3","0 B","EXE"]' in out, True)
    expect('names listed', out[out.index(b'"problems":'):], b'"problems":['
           b'"Entry 1 (a\\ufffdtxt.exe): Refusing a file whose name hides characters.",'
           b'"Entry 1 (a\\ufffdtxt.exe): The manifest\'s ext differs from the file name\'s extension.",'
           b'"Entry 2 (Run.BaT): Refusing a file type that runs code unchecked.",'
           b'"Entry 3 (b.msi): The manifest\'s ext differs from the file name\'s extension."]}\n')

    code, out, _ = run(command, ['--json', 'limit.json'])
    expect('at the size limit', (code, out[:20]), (0, b'{"ok":true,"status":'))

    for label, args in [('missing file', ['--json', 'no-such-file.json']), ('no file', ['--json']),
                        ('two files', ['ok.json', 'ok.json']), ('unknown option', ['--xml', 'ok.json']),
                        ('make without a base URL', ['--make', '.']), ('make with a file', ['--make', '.', '--base-url',
                                                                                            'https://h/', 'ok.json']),
                        ('base URL without a slash', ['--make', '.', '--base-url', 'https://h/latest']),
                        ('make of a missing folder', ['--make', 'no-such-folder', '--base-url', 'https://h/'])]:
        code, out, err = run(command, args)
        expect(label, (code, out, len(err) > 0), (2, b'', True))

    print(f'{len(CHECKS.failures)} failed')
    return 1 if CHECKS.failures else 0


if __name__ == '__main__':
    sys.exit(main())
