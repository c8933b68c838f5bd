#!/usr/bin/env bash
# Round trip through an independent office suite: LibreOffice makes a .docx whose pictures
# are linked in line, floating and in a header, and a text document, a presentation and a
# spreadsheet (OpenDocument, and PowerPoint and Excel) whose pictures are linked; the
# pictures move; ravelmend-batch repairs the documents; LibreOffice renders them again, and
# the rendered pixels must show every picture (and must not have shown them before the
# repair).
# usage: batch_libreoffice.sh RAVELMEND_BATCH WORKDIR
set -euo pipefail
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work/old"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

# LibreOffice in a profile of its own, so parallel runs and a user's settings do not meet.
office() {
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore "$@" \
    >"$work/soffice.log" 2>&1 || { cat "$work/soffice.log"; fail "soffice $*"; }
}

colours=(red=#FF0000 green=#00C000 blue=#0000FF)
for c in "${colours[@]}"; do convert -size 120x80 "xc:${c#*=}" "old/${c%%=*}.png"; done

frame() { # name anchor picture [position]
  echo "<draw:frame draw:name=\"$1\" text:anchor-type=\"$2\" ${4:-} svg:width=\"3cm\" svg:height=\"2cm\">"\
"<draw:image xlink:href=\"file://$work/old/$3.png\" xlink:type=\"simple\" xlink:show=\"embed\""\
" xlink:actuate=\"onLoad\"/></draw:frame>"
}
cat >linked.fodt <<EOF2
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles>
 <style:page-layout style:name="pm1"><style:page-layout-properties fo:page-width="21cm"
  fo:page-height="29.7cm" fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2cm"
  fo:margin-right="2cm"/><style:header-style><style:header-footer-properties
  fo:min-height="0cm"/></style:header-style></style:page-layout>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Standard" style:page-layout-name="pm1">
  <style:header><text:p>Header $(frame header as-char blue)</text:p></style:header>
 </style:master-page>
</office:master-styles>
<office:body><office:text>
 <text:p>In line $(frame inline as-char red)</text:p>
 <text:p>$(frame floating paragraph green 'svg:x="9cm" svg:y="2cm"')Floating</text:p>
</office:text></office:body>
</office:document>
EOF2
office --convert-to docx --outdir "$work" linked.fodt
[ -s linked.docx ] || fail "LibreOffice made no linked.docx"

# Word keeps a header's picture relationship in the header's own relationships; LibreOffice
# 7.4 writes it into the main part's. Give the document Word's form.
mkdir pkg
(cd pkg && unzip -q ../linked.docx)
rel=$(grep -o '<Relationship [^>]*blue\.png[^>]*/>' pkg/word/_rels/document.xml.rels) ||
  fail "no relationship for the header picture"
grep -q "r:link=\"$(echo "$rel" | sed 's/.*Id="\([^"]*\)".*/\1/')\"" pkg/word/header1.xml ||
  fail "the header does not use the picture relationship"
sed -i "s#$rel##" pkg/word/_rels/document.xml.rels
printf '%s\n%s%s</Relationships>' '<?xml version="1.0" encoding="UTF-8"?>' \
  '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' \
  "$rel" >pkg/word/_rels/header1.xml.rels
rm linked.docx
(cd pkg && zip -q -X -r ../linked.docx '[Content_Types].xml' _rels docProps word)
cp linked.docx original.docx

# The same document with its relationship parts stored in UTF-16, as some writers store
# them: repaired, they must stay UTF-16 (or say what they became) for a reader to open them.
for r in word/_rels/document.xml.rels word/_rels/header1.xml.rels; do
  sed 's/encoding="UTF-8"/encoding="UTF-16"/' "pkg/$r" | iconv -f UTF-8 -t UTF-16 >"pkg/$r.16"
  mv "pkg/$r.16" "pkg/$r"
done
(cd pkg && zip -q -X -r ../utf16.docx '[Content_Types].xml' _rels docProps word)

# The same text as LibreOffice's own package; a presentation and a spreadsheet with the three
# pictures on a slide and on a sheet, as OpenDocument and as PowerPoint and Excel files.
ns='xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.3"'
shapes() {
  echo "$(frame red paragraph red 'svg:x="1cm" svg:y="1cm"')$(frame green paragraph green \
'svg:x="6cm" svg:y="4cm"')$(frame blue paragraph blue 'svg:x="11cm" svg:y="7cm"')" |
    sed 's/ text:anchor-type="paragraph"//g'
}
cat >slides.fodp <<EOF2
<?xml version="1.0" encoding="UTF-8"?>
<office:document $ns office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:body><office:presentation><draw:page draw:name="One">$(shapes)</draw:page>
</office:presentation></office:body></office:document>
EOF2
cat >sheet.fods <<EOF2
<?xml version="1.0" encoding="UTF-8"?>
<office:document $ns office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Figures">
<table:shapes>$(shapes)</table:shapes><table:table-column/>
<table:table-row><table:table-cell office:value-type="string"><text:p>Figures</text:p>
</table:table-cell></table:table-row></table:table></office:spreadsheet></office:body>
</office:document>
EOF2
cp linked.fodt text.fodt && office --convert-to odt text.fodt
office --convert-to odp slides.fodp
office --convert-to ods sheet.fods
cp slides.fodp deck.fodp && office --convert-to pptx deck.fodp
cp sheet.fods book.fods && office --convert-to xlsx book.fods
for d in text.odt slides.odp sheet.ods deck.pptx book.xlsx; do
  [ -s "$d" ] || fail "LibreOffice made no $d"
done
grep -q 'xlink:href="../old/red.png"' <(unzip -p text.odt content.xml) ||
  fail "LibreOffice did not keep the text's picture linked beside the document"

# LibreOffice 7.4 stores the pictures of presentations and workbooks it writes in the
# package; make them links, as PowerPoint and Excel write a linked picture: an external
# relationship named by r:link, the picture's copy gone.
for d in deck.pptx book.xlsx; do
  rm -rf pkg-$d && mkdir pkg-$d
  (cd pkg-$d && unzip -q ../$d)
  for media in pkg-$d/*/media/image*.png; do
    case $(convert "$media" -format '%[hex:p{1,1}]' info:) in
      FF0000) c=red ;; 00C000) c=green ;; 0000FF) c=blue ;; *) fail "$media: no colour of ours" ;;
    esac
    sed -i "s#Target=\"../media/${media##*/}\"#Target=\"file://$work/old/$c.png\" TargetMode=\"External\"#" \
      pkg-$d/*/*/_rels/*.rels
    rm "$media"
  done
  sed -i 's/r:embed="/r:link="/g' pkg-$d/ppt/slides/*.xml pkg-$d/xl/drawings/*.xml 2>/dev/null || true
  [ "$(cat pkg-$d/*/*/_rels/*.rels | grep -o 'TargetMode="External"' | wc -l)" -eq 3 ] ||
    fail "$d: not three linked pictures"
  rm "$d"
  (cd pkg-$d && zip -q -X -r "../$d" "[Content_Types].xml" _rels docProps $(ls -d ppt xl 2>/dev/null))
done
others=(text.odt slides.odp sheet.ods deck.pptx book.xlsx)

# How many pixels of a colour a rendered page has.
pixels() { # png colour
  convert "$1" -alpha off -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}
check() { # pdf expect(yes|no)
  pdftoppm -r 40 -png -f 1 -l 1 "$1" "${1%.pdf}"
  local png
  png=$(ls "${1%.pdf}"-*1.png)
  for c in "${colours[@]}"; do
    local n
    n=$(pixels "$png" "${c#*=}")
    echo "$1: ${c%%=*} picture: $n pixels"
    if [ "$2" = yes ]; then [ "$n" -gt 500 ] || fail "$1 does not show the ${c%%=*} picture"
    else [ "$n" -lt 50 ] || fail "$1 shows the ${c%%=*} picture"; fi
  done
}

office --convert-to pdf --outdir "$work" original.docx utf16.docx
check original.pdf yes
check utf16.pdf yes
office --convert-to pdf --outdir "$work" "${others[@]}"
for d in "${others[@]}"; do check "${d%.*}.pdf" yes; done

# The pictures move beneath a new root, each to a folder of its own.
mkdir -p new/a new/b/c new/d
mv old/red.png new/a/ && mv old/green.png new/b/c/ && mv old/blue.png new/d/
cp linked.docx moved.docx
status=0
"$tool" fix --root "$work/new" linked.docx >fix.txt || status=$?
cat fix.txt
[ "$status" -eq 0 ] || fail "ravelmend-batch fix ended with $status"
grep -q "3 fixed" fix.txt || fail "not every link was fixed"
"$tool" list linked.docx >list.txt || fail "links still missing after the fix: $(cat list.txt)"

status=0
"$tool" fix --root "$work/new" utf16.docx >fix16.txt || status=$?
cat fix16.txt
[ "$status" -eq 0 ] || fail "ravelmend-batch fix of the UTF-16 document ended with $status"
grep -q "3 fixed" fix16.txt || fail "not every link of the UTF-16 document was fixed"

# Each of the other documents: moved, and repaired.
for d in "${others[@]}"; do
  cp "$d" "moved-$d"
  status=0
  "$tool" fix --root "$work/new" "$d" >"fix-$d.txt" || status=$?
  cat "fix-$d.txt"
  [ "$status" -eq 0 ] || fail "ravelmend-batch fix of $d ended with $status"
  grep -q "3 fixed" "fix-$d.txt" || fail "not every link of $d was fixed"
  "$tool" list "$d" >"list-$d.txt" || fail "links of $d still missing: $(cat "list-$d.txt")"
done

# Every XML part of the repaired documents reads in the encoding it declares, with a strict
# parser too (LibreOffice forgives a part whose bytes and declaration disagree).
for d in linked.docx utf16.docx "${others[@]}"; do
  python3 - "$d" <<'PY' || fail "$d has a part a strict XML parser cannot read"
import sys, zipfile, xml.dom.minidom
with zipfile.ZipFile(sys.argv[1]) as z:
    for name in z.namelist():
        if name.endswith((".xml", ".rels")) and not name.endswith("/"):
            try:
                xml.dom.minidom.parseString(z.read(name))
            except Exception as e:
                sys.exit(f"{sys.argv[1]}: {name}: {e}")
PY
done

office --convert-to pdf --outdir "$work" moved.docx linked.docx utf16.docx
check moved.pdf no
check linked.pdf yes
check utf16.pdf yes
moved=()
for d in "${others[@]}"; do moved+=("moved-$d"); done
office --convert-to pdf --outdir "$work" "${moved[@]}" "${others[@]}"
for d in "${others[@]}"; do
  check "moved-${d%.*}.pdf" no
  check "${d%.*}.pdf" yes
done
echo "PASS: LibreOffice draws all three pictures from their new places, UTF-16 parts too," \
  "in .docx, .odt, .odp, .ods, .pptx and .xlsx"
