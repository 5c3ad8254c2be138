#!/usr/bin/env python3
"""Runs the manifest checker on files and standard input and compares its output byte for byte;
then makes, signs, re-signs and verifies signed lists with it, checked against OpenSSL's command line
and an independent verifier and signer (Python's cryptography package).

Usage: check_tool_test.py --work DIR -- CHECKER_COMMAND...
"""
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature, encode_dss_signature

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


CONTEXT = b"quorvel-manifest-signature-v1\n"
LINE = re.compile(rb'\{"quorvel-signature":"ecdsa-p256-sha256 ([0-9a-f]{16}) ([A-Za-z0-9+/]{86}==)"\}\n')
PASSPHRASE = "a test passphrase, not a secret"


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

    signed_lists(command, command[-1].lower().endswith('.exe'), write)

    print(f'{len(CHECKS.failures)} failed')
    return 1 if CHECKS.failures else 0


def make_key(name, curve='P-256', encrypt=True):
    """A throwaway key pair made with OpenSSL's command line: NAME.key.pem (encrypted PKCS#8, as the
    README tells vendors) and NAME.pub.pem."""
    key = subprocess.run(['openssl', 'genpkey', '-algorithm', 'EC', '-pkeyopt', 'ec_paramgen_curve:' + curve],
                         check=True, capture_output=True).stdout
    if encrypt:
        key = subprocess.run(['openssl', 'pkcs8', '-topk8', '-v2', 'aes-256-cbc', '-iter', '1000',
                              '-passout', 'file:pass.txt'], input=key, check=True, capture_output=True).stdout
    with open(name + '.key.pem', 'wb') as f:
        f.write(key)
    subprocess.run(['openssl', 'pkey', '-in', name + '.key.pem', '-passin', 'file:pass.txt', '-pubout',
                    '-out', name + '.pub.pem'], check=True, capture_output=True)
    return name


def key_id(name):
    der = subprocess.run(['openssl', 'pkey', '-pubin', '-in', name + '.pub.pem', '-outform', 'DER'],
                         check=True, capture_output=True).stdout
    return hashlib.sha256(der).hexdigest()[:16]


def private_key(name):
    with open(name + '.key.pem', 'rb') as f:
        return serialization.load_pem_private_key(f.read(), PASSPHRASE.encode())


def sign_line(name, signed_part):
    """A signature line made by Python's cryptography package, independently of the checker."""
    r, s = decode_dss_signature(private_key(name).sign(CONTEXT + signed_part, ec.ECDSA(hashes.SHA256())))
    signature = base64.b64encode(r.to_bytes(32, 'big') + s.to_bytes(32, 'big')).decode()
    return ('{"quorvel-signature":"ecdsa-p256-sha256 %s %s"}\n' % (key_id(name), signature)).encode()


def split(body):
    """S and the (key id, signature bytes) of each signature line, as the format splits a body."""
    lines = []
    while True:
        start = body.rfind(b'\n', 0, len(body) - 1) + 1
        match = LINE.fullmatch(body, start)
        if not match or len(lines) == 2:
            return body, lines
        lines.insert(0, (match.group(1).decode(), base64.b64decode(match.group(2))))
        body = body[:start]


def verified_elsewhere(name, signed_part, signature):
    """Both independent verifiers: `openssl dgst -verify` on the DER form, and cryptography."""
    der = encode_dss_signature(int.from_bytes(signature[:32], 'big'), int.from_bytes(signature[32:], 'big'))
    with open('message.bin', 'wb') as f:
        f.write(CONTEXT + signed_part)
    with open('signature.der', 'wb') as f:
        f.write(der)
    openssl = subprocess.run(['openssl', 'dgst', '-sha256', '-verify', name + '.pub.pem', '-signature',
                              'signature.der', 'message.bin'], capture_output=True)
    with open(name + '.pub.pem', 'rb') as f:
        public = serialization.load_pem_public_key(f.read())
    try:
        public.verify(der, CONTEXT + signed_part, ec.ECDSA(hashes.SHA256()))
        python = True
    except Exception:  # cryptography's InvalidSignature
        python = False
    return openssl.returncode == 0 and openssl.stdout.strip() == b'Verified OK', python


def list_text(serial, expires, files):
    return (json.dumps({'schema': 'quorvel.download.v1', 'serial': serial, 'expires': expires, 'files': files},
                       separators=(',', ':')) + '\n').encode()


def stamp(seconds):
    return time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(seconds))


def signed_lists(command, windows, write):
    """Signed lists: made and re-signed by the tool where it signs (Linux), made by Python where it
    does not (Windows, which refuses to sign); verified by the tool on both, by CNG under Wine."""
    write('pass.txt', (PASSPHRASE + '\n').encode())
    one, two, other = make_key('one'), make_key('two'), make_key('other')
    make_key('p384', curve='P-384')
    make_key('plain', encrypt=False)
    for folder in ('pub', 'sizes'):
        shutil.rmtree(folder, ignore_errors=True)  # a former run's
        os.makedirs(folder)
    for name, data in [('a.msi', b'abc'), ('b.txt', b'notes'), ('filelist.signed.json', b'an old list'),
                       ('.partial.msi', b'hidden')]:
        write(os.path.join('pub', name), data)
        os.utime(os.path.join('pub', name), (1780000000, 1780000000))
    if not windows:
        os.symlink('filelist.signed.json', os.path.join('pub', 'link.json'))
    now = int(time.time())
    files = [{'name': 'a.msi', 'url': 'https://h/latest/a.msi', 'size': 3, 'modified_at': stamp(1780000000),
              'ext': 'msi', 'sha256': hashlib.sha256(b'abc').hexdigest()}]
    good = list_text(now, stamp(now + 30 * 86400), files)
    signing = ['--passphrase-file', 'pass.txt']

    if windows:
        code, out, err = run(command, ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'one.key.pem'] + signing)
        expect('no signing on Windows', (code, out, b'not offered on Windows' in err), (2, b'', True))
        made = good + sign_line(one, good)
    else:
        code, out, err = run(command, ['--make', 'pub', '--base-url', 'https://h/latest/', '--sign', 'one.key.pem',
                                       '--sign', 'two.key.pem'] + signing + ['--out', 'made.json'])
        expect('--make --sign exit code', (code, out, err), (0, b'', b''))
        with open('made.json', 'rb') as f:
            made = f.read()
        signed_part, lines = split(made)
        document = json.loads(signed_part)
        expect('S ends with one line feed', signed_part.endswith(b'}\n') and not signed_part.endswith(b'\n\n'), True)
        expect('one line per key, in the order given', [k for k, _ in lines], [key_id(one), key_id(two)])
        for (_, signature), name in zip(lines, (one, two)):
            expect('openssl and cryptography verify the line of ' + name,
                   verified_elsewhere(name, signed_part, signature), (True, True))
        expect('serial is the time now', abs(document['serial'] - now) < 600, True)
        expect('expires in 30 days', document['expires'][:10], stamp(document['serial'] + 30 * 86400)[:10])
        expect('only the files (not the signed list, a link to it or a hidden file), each with its sha256',
               [(f['name'], f['size'], f['sha256']) for f in document['files']],
               [('a.msi', 3, hashlib.sha256(b'abc').hexdigest()), ('b.txt', 5, hashlib.sha256(b'notes').hexdigest())])
        unsigned = run(command, ['--make', 'pub', '--base-url', 'https://h/latest/'])[1]
        expect('the unsigned list is S without serial and expiry',
               re.sub(rb',"serial":\d+,"expires":"[^"]+"', b'', signed_part), unsigned + b'\n')

        # Refresh: the same entries byte for byte, a higher serial, signed again.
        code, refreshed, err = run(command, ['--refresh', 'made.json', '--sign', 'one.key.pem'] + signing +
                                   ['--serial', str(document['serial'] + 5), '--expires-in-days', '60'])
        new_part, new_lines = split(refreshed)
        renewed = json.loads(new_part)
        expect('--refresh exit code', (code, err), (0, b''))
        expect('--refresh keeps every other byte', new_part.replace(b'"serial":%d' % renewed['serial'], b'')
               .replace(renewed['expires'].encode(), b''), signed_part.replace(b'"serial":%d' % document['serial'], b'')
               .replace(document['expires'].encode(), b''))
        expect('--refresh raises the serial and sets the expiry', (renewed['serial'], renewed['expires'][:10]),
               (document['serial'] + 5, stamp(now + 60 * 86400)[:10]))
        expect('--refresh signs again', [verified_elsewhere(one, new_part, sig) for _, sig in new_lines],
               [(True, True)])
        write('high.json', list_text(9000000000000000, stamp(now + 86400), files))
        write('high.json', open('high.json', 'rb').read() + sign_line(one, open('high.json', 'rb').read()))
        code, out, err = run(command, ['--refresh', 'high.json', '--sign', 'one.key.pem', '--revoke',
                                       key_id(other)] + signing)
        expect('a default serial not above the old one is bumped', (code, json.loads(split(out)[0])['serial'],
                                                                    b'using 9000000000000001' in err), (0, 9000000000000001, True))
        expect('--revoke adds to "revoke"', json.loads(split(out)[0]).get('revoke'), [key_id(other)])

        for label, args, says in [
            ('a serial not above the old one', ['--refresh', 'made.json', '--sign', 'one.key.pem', '--serial', '5'],
             b'not above'),
            ('a list no given key signed', ['--refresh', 'made.json', '--sign', 'other.key.pem'], b'not signed by any'),
            ('a wrong passphrase', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'one.key.pem',
                                    '--passphrase-file', 'ok.json'], b'wrong passphrase'),
            ('a public key to --sign', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'one.pub.pem'],
             b'is a public key'),
            ('a P-384 key', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'p384.key.pem'], b'secp384r1'),
            ('an unencrypted key', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'plain.key.pem'],
             b'not encrypted'),
            ('revoking a key that signs', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'one.key.pem',
                                           '--revoke', key_id(one)], b'refusing to revoke'),
            ('an expiry past a year', ['--make', 'pub', '--base-url', 'https://h/', '--sign', 'one.key.pem',
                                       '--expires-in-days', '367'], b'1 to 366'),
        ]:
            extra = signing if '--passphrase-file' not in args else []
            code, out, err = run(command, args + extra + ['--out', 'refused.json'])
            expect('refused: ' + label, (code, out, says in err, os.path.exists('refused.json')), (2, b'', True, False))

    # Verify, by the tool (CNG under Wine): what must pass and what must be refused.
    line = sign_line(one, good)
    flipped = bytearray(line)
    flipped[60] = ord('A') if flipped[60] != ord('A') else ord('B')
    soon = list_text(now, stamp(now + 5 * 86400), files)
    bare = list_text(now, stamp(now + 30 * 86400), [dict(files[0], sha256='')])
    old = list_text(now, stamp(now - 60), files)
    write(os.path.join('sizes', 'a.msi'), b'abcd')
    not_signed = b'The download list is not signed by its publisher; refusing it.\n'
    for label, body, keys, extra, want, says in [
        ('made and signed', made, ['one'], [], 0, b'Signature by %s: verified with one.pub.pem' % key_id(one).encode()),
        ('two lines, the second verifies', good + sign_line(other, good) + sign_line(two, good), ['two'], [], 0,
         b'Signature by %s: no key given' % key_id(other).encode()),
        ('a flipped byte in S', good.replace(b'"size":3', b'"size":4') + line, ['one'], [], 1, not_signed),
        ('a flipped signature character', good + bytes(flipped), ['one'], [], 1, not_signed),
        ('an unknown key', good + sign_line(other, good), ['one'], [], 1, not_signed),
        ('a CR before the line feed', good + line[:-1] + b'\r\n', ['one'], [], 1, not_signed),
        ('a third line', good + line + line + line, ['one'], [], 1, not_signed),
        ('a space after the line', good + line + b' ', ['one'], [], 1, not_signed),
        ('not signed', good, ['one'], [], 1, not_signed),
        ('expired', old + sign_line(one, old), ['one'], [], 1, b'; check this computer\'s date and time.\n'),
        ('five days left', soon + sign_line(one, soon), ['one'], [], 0, b'Signed list: serial %d' % now),
        ('five days left, strict', soon + sign_line(one, soon), ['one'], ['--strict'], 3, b're-sign it'),
        ('an entry without sha256, strict', bare + sign_line(one, bare), ['one'], ['--strict'], 3,
         b'no sha256 in a signed list'),
        ('a size that is not the file\'s, strict', good + line, ['one'], ['--strict', '--dir', 'sizes'], 3,
         b'size 3 is not the file\'s (4 bytes'),
        ('sizes that are the files\', strict', good + line, ['one'], ['--strict', '--dir', 'pub'], 0,
         b'Signed by its publisher'),
    ]:
        write('verify.json', body)
        args = sum((['--verify', k + '.pub.pem'] for k in keys), []) + extra + ['verify.json']
        code, out, _ = run(command, args)  # Wine may write its own complaints to standard error
        expect('--verify: ' + label, (code, says in out), (want, True))

    # The plain check judges the list the signature covers; a broken trailer is a problem.
    code, out, _ = run(command, ['--json', '--strict', 'verify.json'])
    expect('a signed list is judged by S',
           (code, b'"problems":[],"signature":{"keys":["%s"],"serial":%d' % (key_id(one).encode(), now) in out),
           (0, True))
    write('broken.json', good + line[:-1] + b'\r\n')
    code, out, _ = run(command, ['--strict', 'broken.json'])
    expect('a broken trailer is a problem', (code, out.endswith(b'refuses the list.\n')), (3, True))


if __name__ == '__main__':
    sys.exit(main())
