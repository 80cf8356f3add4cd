#!/usr/bin/env python3
"""Makes the sparse package of a Windows set in the set's folder: AppxManifest.xml and the logos
in Assets/ (Windows reads both from the package's external location, the folder setup installs
to) and Zelvane.msix, which holds the manifest, signed when a certificate is given.

Usage: make_package.py SET_FOLDER VERSION ARCHITECTURE    (VERSION x.y.z; ARCHITECTURE x64)
Environment: ZEL_PUBLISHER      the Identity's Publisher (default CN=Zelvane Developers)
             ZEL_SIGN_PFX       a .pfx to sign with: its subject must be the Publisher
             ZEL_SIGN_PASSWORD  that file's password
"""
import base64
import hashlib
import os
import re
import string
import subprocess
import sys
import tempfile
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
NAME = 'Zelvane'
LIBRARY = 'zelshell.dll'
DEFAULT_PUBLISHER = 'CN=Zelvane Developers'
LOGOS = {'StoreLogo.png': 50, 'Square44x44Logo.png': 44, 'Square150x150Logo.png': 150}
BLOCK = 65536  # the block map hashes each 64 KiB of a file
# The attribute names Windows writes in a subject (CertNameToStr), by OID; others as OID.n.n.
WINDOWS_NAMES = {
    '2.5.4.3': 'CN', '2.5.4.7': 'L', '2.5.4.10': 'O', '2.5.4.11': 'OU', '2.5.4.6': 'C',
    '2.5.4.8': 'S', '2.5.4.9': 'STREET', '2.5.4.12': 'T', '2.5.4.42': 'G', '2.5.4.43': 'I',
    '2.5.4.4': 'SN', '2.5.4.5': 'SERIALNUMBER', '1.2.840.113549.1.9.1': 'E',
    '0.9.2342.19200300.100.1.25': 'DC'}
# A value Windows writes in quotes (its doubled inside).
NEEDS_QUOTES = re.compile(r'[,+="\r\n<>#;]|^\s|\s$')


def registration_text(symbol):
    """A constant from the shell extension's registration.h, the one spelling of its ids."""
    with open(os.path.join(ROOT, 'shellext', 'registration.h'), encoding='utf-8') as header:
        return re.search(r'\b%s\[\] = "([^"]*)";' % symbol, header.read()).group(1)


def windows_subject(rfc2253):
    """openssl's subject (numeric OIDs, RFC 2253 escapes, last RDN first) as Windows writes it."""
    parts = re.findall(r'((?:\\.|[^,+\\])+)', rfc2253)
    names = []
    for part in parts:
        oid, value = part.split('=', 1)
        value = re.sub(r'\\(.)', r'\1', value)
        if NEEDS_QUOTES.search(value):
            value = '"%s"' % value.replace('"', '""')
        names.append('%s=%s' % (WINDOWS_NAMES.get(oid, 'OID.' + oid), value))
    return ', '.join(names)


def certificate_subject(pfx):
    pem = subprocess.run(['openssl', 'pkcs12', '-in', pfx, '-nokeys', '-clcerts', '-passin',
                          'env:ZEL_SIGN_PASSWORD'], check=True, capture_output=True).stdout
    subject = subprocess.run(['openssl', 'x509', '-noout', '-subject', '-nameopt',
                              'oid,utf8,sep_comma_plus,dn_rev,esc_2253'], input=pem, check=True,
                             capture_output=True).stdout.decode('utf-8').strip()
    return windows_subject(subject[len('subject='):])


def manifest(publisher, version, architecture):
    with open(os.path.join(HERE, 'AppxManifest.xml'), encoding='utf-8') as template:
        return string.Template(template.read()).substitute(
            name=NAME, publisher=escape(publisher, {'"': '&quot;'}), version=version + '.0',
            architecture=architecture, library=LIBRARY,
            command_class=registration_text('kCommandClassId').strip('{}')).encode('utf-8')


def block_map(files):
    """AppxBlockMap.xml for files stored uncompressed (so its blocks carry no Size)."""
    entries = []
    for name, data in files:
        blocks = ''.join('<Block Hash="%s"/>' % base64.b64encode(
            hashlib.sha256(data[at:at + BLOCK]).digest()).decode()
                         for at in range(0, len(data), BLOCK))
        # A local file header is 30 bytes and the name; this packer writes no extra field.
        entries.append('<File Name="%s" Size="%d" LfhSize="%d">%s</File>' % (
            escape(name.replace('/', '\\')), len(data), 30 + len(name.encode()), blocks))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<BlockMap xmlns="http://schemas.microsoft.com/'
            'appx/2010/blockmap" HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">%s</BlockMap>'
            % ''.join(entries)).encode('utf-8')


CONTENT_TYPES = (
    b'<?xml version="1.0" encoding="UTF-8"?>\n<Types xmlns="http://schemas.openxmlformats.org/'
    b'package/2006/content-types"><Override PartName="/AppxManifest.xml" ContentType='
    b'"application/vnd.ms-appx.manifest+xml"/><Override PartName="/AppxBlockMap.xml" ContentType='
    b'"application/vnd.ms-appx.blockmap+xml"/></Types>')


def pack(files, path):
    """The package: its files, stored, then the block map and the content types, compressed
    (osslsigncode rewrites the content types compressed, whatever the entry said)."""
    footprint = [('AppxBlockMap.xml', block_map(files)), ('[Content_Types].xml', CONTENT_TYPES)]
    with zipfile.ZipFile(path, 'w') as package:
        for name, data in files + footprint:
            method = zipfile.ZIP_DEFLATED if (name, data) in footprint else zipfile.ZIP_STORED
            package.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), data, method)


def sign(unsigned, signed, pfx):
    # The password goes through a file only this user can read, not the command line.
    with tempfile.NamedTemporaryFile('w', encoding='utf-8') as password:
        password.write(os.environ.get('ZEL_SIGN_PASSWORD', ''))
        password.flush()
        subprocess.run(['osslsigncode', 'sign', '-pkcs12', pfx, '-readpass', password.name,
                        '-in', unsigned, '-out', signed], check=True, stdout=subprocess.DEVNULL)


def make_logos(folder):
    os.makedirs(folder, exist_ok=True)
    icon = os.path.join(ROOT, 'resources', 'zelvane.ico')
    for name, size in LOGOS.items():
        # Without its date chunks a logo is the same file at every build.
        subprocess.run(['convert', icon + '[0]', '-filter', 'point',
                        '-resize', '%dx%d' % (size, size), '-define', 'png:exclude-chunks=date,time',
                        'PNG32:' + os.path.join(folder, name)], check=True)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    folder, version, architecture = sys.argv[1:]
    publisher = os.environ.get('ZEL_PUBLISHER') or DEFAULT_PUBLISHER
    pfx = os.environ.get('ZEL_SIGN_PFX')
    # Windows installs a package only when its signer's subject is the Identity's Publisher.
    subject = certificate_subject(pfx) if pfx else publisher
    if subject != publisher:
        sys.exit('make_package: the certificate %s has the subject "%s" (as Windows writes it), '
                 'but the package\'s Publisher is "%s": set ZEL_PUBLISHER to that subject. Nothing '
                 'made.' % (pfx, subject, publisher))
    text = manifest(publisher, version, architecture)
    with open(os.path.join(folder, 'AppxManifest.xml'), 'wb') as out:
        out.write(text)
    make_logos(os.path.join(folder, 'Assets'))
    target = os.path.join(folder, NAME + '.msix')
    unsigned, signed = target + '.unsigned', target + '.signed'
    try:
        pack([('AppxManifest.xml', text)], unsigned)
        if pfx:
            sign(unsigned, signed, pfx)
        os.replace(signed if pfx else unsigned, target)
    finally:
        for path in (unsigned, signed):
            if os.path.exists(path):
                os.remove(path)
    print('make_package: %s: %s, Publisher "%s"' % (
        target, 'signed with ' + pfx if pfx else 'UNSIGNED (no ZEL_SIGN_PFX): Windows installs it '
        'only as a manifest registered in Developer Mode', publisher))


if __name__ == '__main__':
    main()
