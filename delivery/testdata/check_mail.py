"""Parses a received message with Python's email package and prints what a
mail reader would see, one fact per line, for the delivery tests:

    header NAME: VALUE     every header in order, RFC 2047 decoded
    address FIELD: NAME <ADDR>   each mailbox of From, To, Cc, Bcc
    part TYPE charset=C    each leaf part in order
    text: BODY             the decoded text of the part above
    defects N              problems the parser found
    longest-line N         the longest line in octets, line end excluded
    bare-line-ends N       line ends that are not CR LF

CR, LF and backslash in values are written as \\r, \\n and \\\\.
"""
import email
import email.policy
import sys


def one_line(text):
    return str(text).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def main():
    data = open(sys.argv[1], "rb").read()
    message = email.message_from_bytes(data, policy=email.policy.default)
    out = []
    for name, value in message.items():
        out.append("header %s: %s" % (name, one_line(value)))
    for field in ("From", "To", "Cc", "Bcc"):
        header = message.get(field)
        if header is None:
            continue
        for address in header.addresses:
            out.append("address %s: %s <%s>" % (field, one_line(address.display_name),
                                                address.addr_spec))
    defects = len(message.defects)
    for part in message.walk():
        defects += len(part.defects)
        if part.is_multipart():
            out.append("multipart %s" % part.get_content_type())
            continue
        out.append("part %s charset=%s" % (part.get_content_type(), part.get_content_charset()))
        out.append("text: " + one_line(part.get_content()))
    out.append("defects %d" % defects)
    lines = data.split(b"\r\n")
    out.append("longest-line %d" % max(len(line) for line in lines))
    out.append("bare-line-ends %d" % sum(line.count(b"\n") + line.count(b"\r") for line in lines))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
