#!/usr/bin/python3
"""Encodes texts (a JSON list holding one string, a line each, on standard input) as Gammu sends long
text: gammu.EncodeSMS with ConcatenatedAutoTextLong, then gammu.EncodePDU for
each part. Prints one JSON list a line, an entry a part:

  ["00", "A0050003XX0201..."]   (TP-DCS, then TP-UDL and the user data)

The concatenation reference is masked as "XX": Gammu chooses its own.
"""
import binascii
import json
import sys

import gammu


def user_data(pdu):
    o = binascii.unhexlify(pdu)
    i = 1 + o[0]          # service centre address
    first = o[i]
    i += 2                # first octet, TP-MR
    i += 2 + (o[i] + 1) // 2  # TP-DA
    dcs = o[i + 1]
    i += 2                # TP-PID, TP-DCS
    vpf = (first >> 3) & 3
    i += {0: 0, 2: 1}.get(vpf, 7)
    rest = bytearray(o[i:])
    hexed = rest.hex().upper()
    if first & 0x40 and len(rest) > 3:
        # Walk the header to the 8-bit concatenation element and mask its reference.
        udhl = rest[1]
        j = 2
        while j < 2 + udhl:
            iei, length = rest[j], rest[j + 1]
            if iei == 0 and length == 3:
                k = 2 * (j + 2)
                hexed = hexed[:k] + "XX" + hexed[k + 2:]
            j += 2 + length
    return ["%02X" % dcs, hexed]


for line in sys.stdin:
    text = json.loads(line)[0]
    messages = gammu.EncodeSMS({"Class": -1, "Entries": [{"ID": "ConcatenatedAutoTextLong", "Buffer": text}]})
    parts = []
    for m in messages:
        m["Number"] = "+12345"
        parts.append(user_data(binascii.hexlify(gammu.EncodePDU(m)).decode().upper()))
    print(json.dumps(parts))
