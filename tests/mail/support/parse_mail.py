#!/usr/bin/python3
"""Parses a mail with Python's email package and prints what a test compares.

  parse_mail.py MAIL.eml OUT.json

OUT.json: {"headers": {name: decoded value, ...} (the message's own headers),
           "parts": [{"type", "filename", "disposition", "payload_hex"}, ...]}
for every leaf part in order; payload_hex is the decoded payload.
"""

import email
import email.header
import email.policy
import json
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    defects = [str(d) for d in message.defects]
    headers = {}
    for name, value in message.items():
        decoded = "".join(
            part.decode(charset or "ascii") if isinstance(part, bytes) else part
            for part, charset in email.header.decode_header(value))
        headers[name] = decoded
    parts = []
    for part in message.walk():
        if part.is_multipart():
            defects += [str(d) for d in part.defects]
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "type": part.get_content_type(),
            "filename": part.get_filename() or "",
            "disposition": part.get("Content-Disposition", ""),
            "payload_hex": payload.hex(),
        })
        defects += [str(d) for d in part.defects]
    result = {"headers": headers, "parts": parts,
              "is_multipart": message.is_multipart(),
              "content_type": message.get_content_type(),
              "defects": defects}
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        json.dump(result, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
