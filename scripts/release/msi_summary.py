#!/usr/bin/python3
"""Makes a package written by wixl reproducible: wixl stamps its summary information with the
time of the build and a random package code. This sets both times to SOURCE_DATE_EPOCH and the
package code to a GUID derived from the package's content (the package with a zero package code,
hashed), through the msitools library's own summary-information calls.

    msi_summary.py PACKAGE.msi NAMESPACE-GUID      (prints the package code)

Runs with Debian's python3, whose gi module has the Libmsi bindings (gir1.2-libmsi-1.0).
"""
import hashlib
import os
import sys
import uuid

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

FILETIME_EPOCH_OFFSET = 11644473600  # seconds from 1601-01-01 to 1970-01-01
ZERO_CODE = "{00000000-0000-0000-0000-000000000000}"


def set_summary(path, package_code, filetime):
    database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(database, 20)
    summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    summary.set_string(Libmsi.Property.UUID, package_code)
    summary.persist()
    database.commit()


def main():
    path, namespace = sys.argv[1], uuid.UUID(sys.argv[2])
    filetime = (int(os.environ["SOURCE_DATE_EPOCH"]) + FILETIME_EPOCH_OFFSET) * 10_000_000
    set_summary(path, ZERO_CODE, filetime)
    with open(path, "rb") as package:
        digest = hashlib.sha256(package.read()).hexdigest()
    code = "{%s}" % str(uuid.uuid5(namespace, "package " + digest)).upper()
    set_summary(path, code, filetime)
    print(code)


if __name__ == "__main__":
    main()
