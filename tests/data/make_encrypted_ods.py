#!/usr/bin/python3
# Saves a small rpdodef sheet as an .ods encrypted with the password
# "vestrel", through a headless LibreOffice. Called by
# make_office_fixtures.sh: make_encrypted_ods.py OUTPUT PROFILE_DIR
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


output, profile = sys.argv[1], sys.argv[2]
office = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore",
                           "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
                           "--accept=pipe,name=vestrelfixtures;urp;"])
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(100):
    try:
        context = resolver.resolve("uno:pipe,name=vestrelfixtures;urp;StarOffice.ComponentContext")
        break
    except Exception:
        time.sleep(0.3)
desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
doc = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))
sheet = doc.Sheets.getByIndex(0)
sheet.Name = "rpdodef"
sheet.getCellByPosition(0, 0).String = "cobid"
sheet.getCellByPosition(1, 0).String = "id_dev_orig"
sheet.getCellByPosition(0, 1).Value = 385
sheet.getCellByPosition(1, 1).Value = 8
doc.storeToURL(uno.systemPathToFileUrl(output), (prop("FilterName", "calc8"), prop("Password", "vestrel")))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
office.wait(timeout=60)
