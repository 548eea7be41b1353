#!/usr/bin/env python3
"""Writes multipart/signed messages made by Python's email package, and each of their parts as the
package writes it, for the cross-check of the multipart splitter.

    make_signed.py FOLDER

For each message n: FOLDER/n.eml (the whole message), FOLDER/n.boundary, FOLDER/n.part0 (the signed
content) and FOLDER/n.part1 (the signature part).
"""
import os
import random
import sys
from email import policy
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

SIGNED_TEXTS = [
    "version: 3\nfullsiteurl: http://relay.example/site\n",
    "--not-the-boundary\n-- \n\nlast line without end",
    "",
    "x" * 3000 + "\n" + "line\n" * 200,
]


def make(n, text, line_policy):
    signed = MIMEMultipart("signed", protocol="application/x-pkcs7-signature", micalg="sha1")
    signed.preamble = "This is an S/MIME signed message"
    signed.epilogue = "" if n % 2 else "epilogue text\n"
    signed.attach(MIMEText(text, "plain"))
    signature = random.Random(n).randbytes(400 + 100 * n)
    signed.attach(MIMEApplication(signature, "x-pkcs7-signature", name="smime.p7s"))
    message = signed.as_bytes(policy=line_policy)
    with open(os.path.join(sys.argv[1], "%d.eml" % n), "wb") as f:
        f.write(message)
    with open(os.path.join(sys.argv[1], "%d.boundary" % n), "w") as f:
        f.write(signed.get_boundary())
    for i, part in enumerate(signed.get_payload()):
        with open(os.path.join(sys.argv[1], "%d.part%d" % (n, i)), "wb") as f:
            f.write(part.as_bytes(policy=line_policy))


if __name__ == "__main__":
    for n, text in enumerate(SIGNED_TEXTS):
        make(n, text, policy.SMTP if n % 2 == 0 else policy.default)
