#!/usr/bin/python3
"""Loopback peers for the report-sending tests: an SMTP sink, a DNS responder, an HTTP upload receiver and
an FTP server. Each listens on 127.0.0.1 with a port the kernel picks, prints "PORT <n>" and serves until
it is terminated. What a peer receives is written below the output folder for the test to check."""
import base64
import email.parser
import email.policy
import os
import re
import socketserver
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

out_dir = sys.argv[2]
counter_lock = threading.Lock()
counter = [0]


def next_number():
    with counter_lock:
        counter[0] += 1
        return counter[0]


def announce(port):
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()


def save(path, data):
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)


def decode_mime_parts(message, folder):
    """Writes every attachment's decoded bytes under its file name, and the text part as text.txt."""
    os.makedirs(folder, exist_ok=True)
    for part in message.walk():
        if part.is_multipart():
            continue
        name = part.get_filename()
        payload = part.get_payload(decode=True) or b""
        save(os.path.join(folder, "att-" + name if name else "text.txt"), payload)


# --- SMTP ----------------------------------------------------------------------------------------------
# Options: --user U --password P (AUTH LOGIN accepted only with these), --rcpt-code N (reply to RCPT TO;
# recipients containing "reject" always get 550), --greeting-code N; a slow server: --delay S (each reply
# S seconds late), --silent 1 (accepts the connection and never answers), --trickle S (each reply a byte
# every S seconds).
smtp_options = {"user": "", "password": "", "rcpt-code": "250", "greeting-code": "220", "delay": "0",
                "silent": "0", "trickle": "0"}


class SMTPHandler(socketserver.StreamRequestHandler):
    def reply(self, text):
        if smtp_options["silent"] != "0":
            time.sleep(3600)
        time.sleep(float(smtp_options["delay"]))
        data = text.encode() + b"\r\n"
        pause = float(smtp_options["trickle"])
        if pause > 0:
            for i in range(len(data)):
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
                time.sleep(pause)
            return
        self.wfile.write(data)
        self.wfile.flush()

    def handle(self):
        number = next_number()
        transcript = []
        try:
            self.converse(transcript, number)
        except (OSError, ValueError):
            pass  # a client that leaves mid-dialogue
        save(os.path.join(out_dir, "transcript-%d.txt" % number), "\n".join(transcript).encode("latin-1") + b"\n")

    def converse(self, transcript, number):
        self.reply(smtp_options["greeting-code"] + " sink ready")
        while True:
            line = self.rfile.readline(4096)
            if not line:
                break
            command = line.rstrip(b"\r\n").decode("latin-1")
            transcript.append(command)
            verb = command.split(" ")[0].upper()
            if verb == "HELO":
                self.reply("250 sink")
            elif verb == "EHLO":
                # a multi-line reply: the client must wait for its last line
                self.wfile.write(b"250-sink greets you\r\n")
                self.wfile.flush()
                self.reply("250 AUTH LOGIN")
            elif verb == "RSET":
                self.reply("250 reset")
            elif command.upper() == "AUTH LOGIN":
                self.reply("334 VXNlcm5hbWU6")
                user = self.rfile.readline(4096).rstrip(b"\r\n")
                transcript.append("AUTH-USER " + user.decode("latin-1"))
                self.reply("334 UGFzc3dvcmQ6")
                password = self.rfile.readline(4096).rstrip(b"\r\n")
                transcript.append("AUTH-PASSWORD " + password.decode("latin-1"))
                ok = (base64.b64decode(user).decode() == smtp_options["user"] and
                      base64.b64decode(password).decode() == smtp_options["password"])
                self.reply("235 authenticated" if ok else "535 authentication failed")
            elif verb == "MAIL":
                self.reply("250 sender ok")
            elif verb == "RCPT":
                self.reply("550 no such user" if "reject" in command else smtp_options["rcpt-code"] + " recipient ok")
            elif verb == "DATA":
                self.reply("354 go ahead")
                lines = []
                while True:
                    data_line = self.rfile.readline(1 << 20)
                    if not data_line or data_line == b".\r\n":
                        break
                    if data_line.startswith(b"."):
                        data_line = data_line[1:]  # undo the dot-stuffing
                    lines.append(data_line)
                raw = b"".join(lines)
                save(os.path.join(out_dir, "message-%d.eml" % number), raw)
                message = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(raw)
                decode_mime_parts(message, os.path.join(out_dir, "message-%d" % number))
                self.reply("250 queued")
            elif verb == "QUIT":
                self.reply("221 bye")
                break
            else:
                self.reply("500 unknown command")


def serve_smtp(args):
    for i in range(0, len(args) - 1, 2):
        smtp_options[args[i].lstrip("-")] = args[i + 1]
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), SMTPHandler)
    server.daemon_threads = True
    announce(server.server_address[1])
    server.serve_forever()


# --- DNS -----------------------------------------------------------------------------------------------
# The reply depends on the first label of the asked name.

def encode_name(name):
    data = b""
    for label in name.split("."):
        data += bytes([len(label)]) + label.encode()
    return data + b"\0"


def mx_record(owner, preference, exchange):
    rdata = struct.pack(">H", preference) + encode_name(exchange)
    return owner + struct.pack(">HHIH", 15, 1, 300, len(rdata)) + rdata


class DNSHandler(socketserver.BaseRequestHandler):
    def handle(self):
        query, sock = self.request
        if len(query) < 12:
            return
        qid, flags, qdcount = struct.unpack(">HHH", query[:6])
        # the question: our client must ask one standard, recursive MX question
        pos = 12
        labels = []
        while pos < len(query) and query[pos] != 0:
            length = query[pos]
            labels.append(query[pos + 1:pos + 1 + length].decode())
            pos += 1 + length
        qtype, qclass = struct.unpack(">HH", query[pos + 1:pos + 5])
        question = query[12:pos + 5]
        name = ".".join(labels)
        with open(os.path.join(out_dir, "dns-queries.txt"), "a") as log:
            log.write("%s flags=%04x qd=%d type=%d class=%d len=%d\n" % (name, flags, qdcount, qtype, qclass, len(query)))
        kind = labels[0] if labels else ""
        pointer = b"\xc0\x0c"  # the question's name
        answers = []
        reply_flags = 0x8180
        rcode = 0
        if kind == "good":
            answers = [mx_record(pointer, 10, "mx." + name)]
        elif kind == "multi":
            answers = [mx_record(pointer, 20, "backup." + name), mx_record(pointer, 5, "primary." + name)]
        elif kind == "cname":
            target = encode_name("alias." + name)
            answers = [pointer + struct.pack(">HHIH", 5, 1, 300, len(target)) + target,
                       mx_record(pointer, 1, "mail." + name)]
        elif kind == "longowner":
            answers = [mx_record(encode_name(name), 10, "mx." + name)]
        elif kind == "loopback":
            answers = [mx_record(pointer, 10, "127.0.0.1")]
        elif kind == "tc":
            reply_flags |= 0x0200
            answers = [mx_record(pointer, 10, "mx." + name)]
        elif kind == "nxdomain":
            rcode = 3
        elif kind == "silent":
            return
        elif kind == "wrongid":
            bad = struct.pack(">HHHHHH", (qid + 1) & 0xFFFF, 0x8180, 1, 1, 0, 0) + question + \
                mx_record(pointer, 10, "forged." + name)
            sock.sendto(bad, self.client_address)
            answers = [mx_record(pointer, 10, "mx." + name)]
        header = struct.pack(">HHHHHH", qid, reply_flags | rcode, 1, len(answers), 0, 0)
        reply = header + question + b"".join(answers)
        if kind == "cut":
            reply = header[:6] + struct.pack(">HHH", 1, 0, 0) + question + mx_record(pointer, 10, "mx." + name)[:-6]
        elif kind == "loop":
            # the exchange name points at itself
            at = len(header) + len(question) + 2 + 10 + 2
            rdata = struct.pack(">H", 10) + struct.pack(">H", 0xC000 | at)
            reply = header + question + pointer + struct.pack(">HHIH", 15, 1, 300, len(rdata)) + rdata
        elif kind == "overrun":
            # RDLENGTH claims more than the datagram holds
            rdata = struct.pack(">H", 10) + encode_name("mx." + name)
            reply = header + question + pointer + struct.pack(">HHIH", 15, 1, 300, 200) + rdata
        elif kind == "badlabel":
            # a label length running past the record
            rdata = struct.pack(">H", 10) + b"\x3f" + b"abc"
            reply = header + question + pointer + struct.pack(">HHIH", 15, 1, 300, len(rdata)) + rdata
        elif kind == "notreply":
            reply = struct.pack(">HHHHHH", qid, 0x0100, 1, 1, 0, 0) + question + mx_record(pointer, 10, "mx." + name)
        sock.sendto(reply, self.client_address)


def serve_dns(args):
    server = socketserver.ThreadingUDPServer(("127.0.0.1", 0), DNSHandler)
    server.daemon_threads = True
    announce(server.server_address[1])
    server.serve_forever()


# --- HTTP ----------------------------------------------------------------------------------------------
# A POST to a path containing "statusNNN" is answered with that status; anything else "200 OK". Option:
# --delay S answers S seconds after the body arrived.
http_options = {"delay": "0"}

class UploadHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        number = next_number()
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        folder = os.path.join(out_dir, "post-%d" % number)
        os.makedirs(folder, exist_ok=True)
        headers = "path: %s\n" % self.path
        for key in ("Content-Type", "Authorization", "User-Agent"):
            headers += "%s: %s\n" % (key, self.headers.get(key, ""))
        save(os.path.join(folder, "body.bin"), body)
        raw = ("Content-Type: %s\r\n\r\n" % self.headers.get("Content-Type", "")).encode() + body
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(raw)
        names = []
        for part in message.iter_parts():
            name = part.get_param("name", header="content-disposition")
            filename = part.get_param("filename", header="content-disposition")
            names.append(name)
            save(os.path.join(folder, "field-" + name), part.get_payload(decode=True) or b"")
            if filename is not None:
                save(os.path.join(folder, "filename-" + name), filename.encode())
        save(os.path.join(folder, "fields.txt"), ("\n".join(names) + "\n").encode())
        save(os.path.join(folder, "headers.txt"), headers.encode())
        time.sleep(float(http_options["delay"]))
        try:
            self.answer()
        except (BrokenPipeError, ConnectionResetError):
            pass  # a client that stopped waiting

    def answer(self):
        found = re.search(r"status(\d{3})", self.path)
        status = int(found.group(1)) if found else 200
        reason = {201: "Created", 204: "No Content", 299: "Odd", 300: "Multiple Choices", 404: "Not Found",
                  500: "Internal Server Error"}.get(status, "OK")
        self.send_response(status, reason)
        if status == 204:
            self.end_headers()  # a reply without a body
            return
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")


def serve_http(args):
    for i in range(0, len(args) - 1, 2):
        http_options[args[i].lstrip("-")] = args[i + 1]
    server = ThreadingHTTPServer(("127.0.0.1", 0), UploadHandler)
    server.daemon_threads = True
    announce(server.server_address[1])
    server.serve_forever()


# --- FTP -----------------------------------------------------------------------------------------------
# User "reporter" with password "secret" may write below the output folder's "ftp" subfolder, whose
# "readonly" subfolder refuses uploads.

def serve_ftp(args):
    import logging
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    quiet = logging.getLogger("pyftpdlib")
    quiet.addHandler(logging.NullHandler())  # a logger with a handler is left alone by the server
    quiet.setLevel(logging.ERROR)
    root = os.path.join(out_dir, "ftp")
    os.makedirs(os.path.join(root, "incoming"), exist_ok=True)
    os.makedirs(os.path.join(root, "readonly"), exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user("reporter", "secret", root, perm="elradfmw")
    authorizer.override_perm("reporter", os.path.join(root, "readonly"), perm="elr", recursive=True)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.05
    server = FTPServer(("127.0.0.1", 0), handler)
    announce(server.socket.getsockname()[1])
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    kind = sys.argv[1]
    {"smtp": serve_smtp, "dns": serve_dns, "http": serve_http, "ftp": serve_ftp}[kind](sys.argv[3:])
