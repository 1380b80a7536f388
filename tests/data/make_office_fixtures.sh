#!/bin/sh
# Makes the workbooks that come from office programs:
# - RPDODEF.xlsx and RPDODEF.ods: LibreOffice's conversion of RPDODEF.csv, whose
#   formulas LibreOffice computes and stores with their results;
# - encrypted.xlsx and encrypted.ods: a small rpdodef sheet saved with the
#   password "vestrel", as the import must refuse it. encrypted.xlsx is
#   written by the npm package xlsx-populate (Excel's agile encryption),
#   encrypted.ods by LibreOffice through its Python UNO bridge.
#
#   sh tests/data/make_office_fixtures.sh
#
# Needs node with npm, and Debian's libreoffice-calc-nogui and python3-uno.
# None of them is needed to build or test: the files are committed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sheet takes the file's name, in capitals here.
for format in xlsx ods; do
  soffice --headless "-env:UserInstallation=file://$work/profile" \
    --convert-to "$format" --outdir "$here" "$here/RPDODEF.csv" >/dev/null
done

(cd "$work" && npm init -y >/dev/null && npm install --silent xlsx-populate@1.21.0 >/dev/null)
cat > "$work/encrypt.js" <<'JS'
const XlsxPopulate = require("xlsx-populate");
XlsxPopulate.fromBlankAsync().then((book) => {
  const sheet = book.sheet(0);
  sheet.name("rpdodef");
  sheet.cell("A1").value("cobid");
  sheet.cell("B1").value("id_dev_orig");
  sheet.cell("A2").value(385);
  sheet.cell("B2").value(8);
  return book.toFileAsync(process.argv[2], { password: "vestrel" });
});
JS
(cd "$work" && node encrypt.js "$here/encrypted.xlsx")

/usr/bin/python3 "$here/make_encrypted_ods.py" "$here/encrypted.ods" "$work/profile"
