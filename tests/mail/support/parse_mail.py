#!/usr/bin/python3
"""Parses a mail with Python's email package and prints what a test compares.

  parse_mail.py MAIL.eml OUT.json

OUT.json: {"headers": {name: decoded value, ...} (the message's own headers,
           unfolded and with their encoded words decoded),
           "strict_headers": {name: value, ...} (as the current policy reads them),
           "parts": [{"type", "filename", "filename_strict", "disposition",
                      "payload_hex"}, ...]}
for every leaf part in order; payload_hex is the decoded payload. The mail is
read with the lenient compat32 policy, and again with the current default
policy, which parses parameters more strictly ("_strict").
"""

import email
import email.header
import email.policy
import json
import re
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    defects = [str(d) for d in message.defects]
    headers = {}
    for name, value in message.items():
        # Unfolding: a line break followed by a blank is no part of the value.
        value = re.sub(r"\r?\n(?=[ \t])", "", value)
        decoded = "".join(
            part.decode(charset or "ascii") if isinstance(part, bytes) else part
            for part, charset in email.header.decode_header(value))
        headers[name] = decoded
    with open(sys.argv[1], "rb") as f:
        strict = email.message_from_binary_file(f, policy=email.policy.default)
    strict_headers = {}
    for name in strict.keys():
        try:
            strict_headers[name] = str(strict[name])
        except ValueError as error:  # such as a decoded line break in an address
            strict_headers[name] = "<unreadable: %s>" % error
    strict_names = [part.get_filename() or "" for part in strict.walk()
                    if not part.is_multipart()]
    parts = []
    for part in message.walk():
        if part.is_multipart():
            defects += [str(d) for d in part.defects]
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "type": part.get_content_type(),
            "filename": part.get_filename() or "",
            "filename_strict": strict_names[len(parts)],
            "disposition": part.get("Content-Disposition", ""),
            "payload_hex": payload.hex(),
        })
        defects += [str(d) for d in part.defects]
    result = {"headers": headers, "strict_headers": strict_headers,
              "parts": parts,
              "is_multipart": message.is_multipart(),
              "content_type": message.get_content_type(),
              "defects": defects}
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        json.dump(result, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
