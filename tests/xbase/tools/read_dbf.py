#!/usr/bin/python3
# Independent reader: prints every record of a DBF (with memos) as JSON lines, in physical
# order, using python3-dbfread. Deleted records are listed with "deleted": true.
import json
import sys

from dbfread import DBF


def value(v):
    if v is None:
        return None
    if hasattr(v, "strftime"):
        return v.strftime("%Y%m%d")
    if isinstance(v, bytes):
        return v.decode("cp1252")
    return v


def main(path):
    out = []
    for deleted, table in ((False, DBF(path, encoding="cp1252", char_decode_errors="strict")),
                           (True, DBF(path, encoding="cp1252", char_decode_errors="strict"))):
        records = table.deleted if deleted else table.records
        for rec in records:
            out.append({"deleted": deleted, "values": {k: value(v) for k, v in rec.items()}})
    for r in out:
        print(json.dumps(r, ensure_ascii=False))


if __name__ == "__main__":
    main(sys.argv[1])
