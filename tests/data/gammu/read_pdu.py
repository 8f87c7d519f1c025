#!/usr/bin/python3
"""Reads SMS-SUBMIT TPDUs (hex, one a line on standard input) with python-gammu
and prints one JSON object a line: what Gammu makes of each message.

  {"ok": true, "text": "...", "class": -1, "number": "+12345", "udh": "NoUDH",
   "network": "244 05", "logo": ["#..#", ...]}

A TPDU that Gammu cannot read gives {"ok": false, "error": "..."}.
"""
import binascii
import json
import sys

import gammu


def read(tpdu):
    # Gammu expects the service centre address first: "00" is the default one.
    message = gammu.DecodePDU(binascii.unhexlify("00" + tpdu))
    text = message.get("Text") or ""
    if isinstance(text, bytes):  # 8-bit data
        text = text.hex().upper()
    out = {
        "ok": True,
        "text": text,
        "class": message.get("Class", -1),
        "number": message.get("Number", ""),
        "udh": message.get("UDH", {}).get("Type", ""),
    }
    if out["udh"] == "NokiaOperatorLogo":
        entry = gammu.DecodeSMS([message])["Entries"][0]
        bitmap = entry["Bitmap"][0]
        out["network"] = bitmap.get("NetworkCode", "")
        # XPM: size line, two colour lines, then the rows ("#" black, " " none).
        rows = [r.decode() if isinstance(r, bytes) else r for r in bitmap["XPM"][3:]]
        out["logo"] = [r.replace(" ", ".") for r in rows]
    return out


for line in sys.stdin:
    line = line.strip()
    if not line:
        continue
    try:
        result = read(line)
    except Exception as error:  # Gammu raises its own error types
        result = {"ok": False, "error": str(error)}
    print(json.dumps(result, ensure_ascii=False), flush=True)
