#!/usr/bin/env python3
"""Changes one byte of a package where a test needs it, found by what the
bytes hold (streams of a package that wixl or osslsigncode wrote lie in
order, so a stream's bytes are found whole in the file).

usage: change_package.py <package> <copy> cabinet|table|signature

cabinet: a byte inside the cabinet (its header "MSCF", 200 bytes on);
table: a byte of the string pool (the "U" of "UpgradeCode");
signature: a byte inside the RSA signature value (the last OCTET STRING of
256 bytes, 100 bytes into it).
"""
import sys

package, copy, where = sys.argv[1:4]
data = bytearray(open(package, "rb").read())
if where == "cabinet":
    at = data.index(b"MSCF") + 200
elif where == "table":
    assert data.count(b"UpgradeCode") == 1
    at = data.index(b"UpgradeCode")
elif where == "signature":
    at = data.rindex(b"\x04\x82\x01\x00") + 4 + 100
else:
    sys.exit(__doc__.strip())
data[at] ^= 0x01
open(copy, "wb").write(data)
