#!/usr/bin/env python3
"""Writes the source files of the document samples into a folder: a PDF written
by hand with a correct cross-reference table, the parts of minimal OOXML, ODF,
EPUB and JAR packages, the streams of minimal Word, Excel and PowerPoint
compound files, and small text formats. make-samples.sh packs them."""
import os
import struct
import sys

root = sys.argv[1]


def write(path, data):
    path = os.path.join(root, path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data.encode() if isinstance(data, str) else data)


# PDF: one page of text; offsets computed so that the xref table is exact.
objects = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R '
    '/Resources << /Font << /F1 5 0 R >> >> >>',
    None,
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
]
stream = 'BT /F1 12 Tf 20 50 Td (Recovered by Trellmond) Tj ET'
objects[3] = f'<< /Length {len(stream)} >>\nstream\n{stream}\nendstream'
pdf = '%PDF-1.4\n%\xe2\xe3\xcf\xd3\n'
offsets = []
for i, body in enumerate(objects, 1):
    offsets.append(len(pdf.encode('latin-1')))
    pdf += f'{i} 0 obj\n{body}\nendobj\n'
xref = len(pdf.encode('latin-1'))
pdf += f'xref\n0 {len(objects) + 1}\n0000000000 65535 f \n'
pdf += ''.join(f'{o:010d} 00000 n \n' for o in offsets)
pdf += f'trailer\n<< /Size {len(objects) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n'
write('pdf/sample.pdf', pdf.encode('latin-1'))

rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
        'officeDocument" Target="{target}"/></Relationships>')
types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
         '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
         '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
         '<Default Extension="xml" ContentType="application/xml"/>{overrides}</Types>')
write('docx/[Content_Types].xml', types.format(overrides=
      '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.'
      'wordprocessingml.document.main+xml"/>'))
write('docx/_rels/.rels', rels.format(target='word/document.xml'))
write('docx/word/document.xml',
      '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>'
      '<w:p><w:r><w:t>Holiday letter, recovered.</w:t></w:r></w:p></w:body></w:document>')
write('xlsx/[Content_Types].xml', types.format(overrides=
      '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.'
      'spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" '
      'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'))
write('xlsx/_rels/.rels', rels.format(target='xl/workbook.xml'))
write('xlsx/xl/workbook.xml',
      '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
      '<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
write('xlsx/xl/_rels/workbook.xml.rels',
      '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
      '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
      'worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
write('xlsx/xl/worksheets/sheet1.xml',
      '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
      '<row r="1"><c r="A1"><v>42</v></c></row></sheetData></worksheet>')
write('pptx/[Content_Types].xml', types.format(overrides=
      '<Override PartName="/ppt/presentation.xml" ContentType="application/vnd.openxmlformats-officedocument.'
      'presentationml.presentation.main+xml"/>'))
write('pptx/_rels/.rels', rels.format(target='ppt/presentation.xml'))
write('pptx/ppt/presentation.xml',
      '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
      '<p:presentation xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main">'
      '<p:sldSz cx="9144000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/></p:presentation>')

manifest = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" '
            'manifest:version="1.2"><manifest:file-entry manifest:full-path="/" manifest:media-type="{m}"/>'
            '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
            '</manifest:manifest>')
for kind, mime, body in (
        ('odt', 'application/vnd.oasis.opendocument.text',
         '<office:body><office:text><text:p>Minutes of the club meeting.</text:p></office:text></office:body>'),
        ('ods', 'application/vnd.oasis.opendocument.spreadsheet',
         '<office:body><office:spreadsheet><table:table table:name="Sheet1"><table:table-row>'
         '<table:table-cell office:value-type="float" office:value="7"/></table:table-row></table:table>'
         '</office:spreadsheet></office:body>')):
    write(f'{kind}/mimetype', mime)
    write(f'{kind}/META-INF/manifest.xml', manifest.format(m=mime))
    write(f'{kind}/content.xml',
          '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
          'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2">'
          + body + '</office:document-content>')

write('epub/mimetype', 'application/epub+zip')
write('epub/META-INF/container.xml',
      '<?xml version="1.0"?>\n<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
      '<rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>'
      '</rootfiles></container>')
write('epub/OEBPS/content.opf',
      '<?xml version="1.0"?>\n<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">'
      '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">trellmond-sample</dc:identifier>'
      '<dc:title>Sample</dc:title><dc:language>en</dc:language></metadata>'
      '<manifest><item id="c1" href="chapter.xhtml" media-type="application/xhtml+xml"/></manifest>'
      '<spine><itemref idref="c1"/></spine></package>')
write('epub/OEBPS/chapter.xhtml',
      '<?xml version="1.0"?>\n<html xmlns="http://www.w3.org/1999/xhtml"><head><title>One</title></head>'
      '<body><p>Chapter one.</p></body></html>')

write('jar/META-INF/MANIFEST.MF', 'Manifest-Version: 1.0\r\nCreated-By: Trellmond samples\r\n\r\n')
write('jar/org/example/Hello.txt', 'hello from a jar\n')
write('readme.txt', 'Trellmond sample text. ' * 40 + '\n')

# Compound-file streams: a Word file information block, an Excel BOF/EOF pair and
# a PowerPoint current-user record, enough for each application's signature.
fib = struct.pack('<HHHH', 0xA5EC, 0x00C1, 0x0000, 0x0409) + bytes(1472 - 8)
write('doc/WordDocument', fib)
write('doc/1Table', bytes(512))
bof = struct.pack('<HHHHHHII', 0x0809, 16, 0x0600, 0x0005, 0x2775, 0x07CD, 0, 0x0006)
write('xls/Workbook', bof + struct.pack('<HH', 0x000A, 0) + bytes(4096 - 24))
write('ppt/PowerPoint Document', bytes(4096))
write('ppt/Current User', struct.pack('<HHIIIHHH', 0, 0x0FF6, 20, 0x14, 0xE391C05F, 0, 0x03F4, 3) + bytes(40))

write('sample.ps', '%!PS-Adobe-3.0\n%%Creator: Trellmond samples\n%%Pages: 1\n%%EndComments\n'
      '/Helvetica findfont 12 scalefont setfont\n72 720 moveto (Recovered by Trellmond) show\nshowpage\n%%EOF\n')
write('sample.rtf', '{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\n\\f0\\fs24 Recovered letter.\\par\n}\n')
write('sample.html', '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>Notes</title></head>\n'
      '<body><h1>Notes</h1><p>Shopping list and plans.</p></body>\n</html>')
write('sample.xml', '<?xml version="1.0" encoding="UTF-8"?>\n<notes><note id="1">Call the printer.</note></notes>\n')
write('sample.vcf', 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada Pelmora\r\nTEL:+44 20 7946 0000\r\nEND:VCARD\r\n')
write('sample.ics', 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Trellmond//Samples//EN\r\nBEGIN:VEVENT\r\n'
      'UID:1@trellmond\r\nDTSTAMP:20240501T100000Z\r\nDTSTART:20240502T090000Z\r\nSUMMARY:Dentist\r\n'
      'END:VEVENT\r\nEND:VCALENDAR\r\n')
