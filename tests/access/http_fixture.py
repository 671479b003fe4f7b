#!/usr/bin/env python3
"""A small HTTP server for the tests, on 127.0.0.1 only.

It prints "PORT <n>" once it listens. Every request is stored byte for byte in
<record-dir>/request-<k>.bin (k counting from 1). The answer depends on the path:
  /page404      404 with an HTML body
  /nul          200 with a body that holds a NUL byte
  /big          200 with a body of 600000 bytes
  /silent       reads the request and then says nothing for 30 s
  /status       200 with a status page (sys_ver from --sys-ver, none when empty)
  /onvif/digest 401 with an HTTP Digest challenge (realm "cam", qop auth) until a request
                carries the Digest answer of admin / pw (RFC 7616, MD5), then 200 with a
                SOAP GetHostnameResponse
  /onvif/basic  401 with a Basic challenge, whatever the request carries
  /onvif/soap   200 with a SOAP GetHostnameResponse
  anything else the --answer mode: 200, 302, 401, 100-200 (an interim 100 first),
                200-location (a 2xx that also has a Location header)

  parse FILE    (instead of serving) reads a stored POST request with Python's email
                package and prints its part as JSON: name, filename, content_type,
                transfer_encoding, size and sha256 of the part's bytes.
"""
import argparse
import hashlib
import json
import os
import socket
import sys
import threading
import time


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return data
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(body) < length:
        chunk = conn.recv(1 << 20)
        if not chunk:
            break
        body += chunk
    return head + b"\r\n\r\n" + body


SOAP_HOSTNAME = (b'<?xml version="1.0" encoding="UTF-8"?><env:Envelope '
                 b'xmlns:env="http://www.w3.org/2003/05/soap-envelope" '
                 b'xmlns:tds="http://www.onvif.org/ver10/device/wsdl" '
                 b'xmlns:tt="http://www.onvif.org/ver10/schema"><env:Body><tds:GetHostnameResponse>'
                 b'<tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP><tt:Name>fixture</tt:Name>'
                 b'</tds:HostnameInformation></tds:GetHostnameResponse></env:Body></env:Envelope>')
DIGEST_NONCE = "5a0e7e57c0ffee"


def digest_ok(request):
    """Whether the request carries the HTTP Digest answer of admin / pw to our challenge."""
    import re
    head = request.partition(b"\r\n\r\n")[0].decode("latin-1")
    method, target = head.split(" ", 2)[:2]
    for line in head.split("\r\n")[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() != "authorization" or not value.strip().lower().startswith("digest "):
            continue
        pairs = re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value.strip()[7:])
        params = {key: quoted or plain for key, quoted, plain in pairs}

        def md5(text):
            return hashlib.md5(text.encode()).hexdigest()
        ha1 = md5("admin:cam:pw")
        ha2 = md5(f"{method}:{params.get('uri', '')}")
        expected = md5(f"{ha1}:{DIGEST_NONCE}:{params.get('nc', '')}:{params.get('cnonce', '')}:auth:{ha2}")
        return (params.get("username") == "admin" and params.get("uri") == target and
                params.get("nonce") == DIGEST_NONCE and params.get("response") == expected)
    return False


def answer(status, body=b"", extra=b""):
    reasons = {200: b"OK", 302: b"Found", 401: b"Unauthorized", 404: b"Not Found"}
    return (b"HTTP/1.1 %d %s\r\nContent-Length: %d\r\nConnection: close\r\n%s\r\n"
            % (status, reasons.get(status, b"X"), len(body), extra)) + body


class Server:
    def __init__(self, args):
        self.args = args
        self.count = 0
        self.lock = threading.Lock()

    def handle(self, conn):
        with conn:
            request = read_request(conn)
            with self.lock:
                self.count += 1
                path = os.path.join(self.args.record_dir, "request-%d.bin" % self.count)
            with open(path + ".part", "wb") as f:
                f.write(request)
            os.replace(path + ".part", path)
            target = request.split(b" ", 2)[1] if request.count(b" ") >= 2 else b"/"
            route = target.split(b"?", 1)[0]
            if route == b"/page404":
                conn.sendall(answer(404, b"<html><body>no such page</body></html>"))
            elif route == b"/nul":
                conn.sendall(answer(200, b"before\x00after"))
            elif route == b"/big":
                conn.sendall(answer(200, bytes(ord("a") + i % 26 for i in range(600000))))
            elif route == b"/silent":
                time.sleep(30)
            elif route == b"/onvif/digest":
                if digest_ok(request):
                    conn.sendall(answer(200, SOAP_HOSTNAME, b"Content-Type: application/soap+xml\r\n"))
                else:
                    conn.sendall(answer(401, b"", b'WWW-Authenticate: Digest realm="cam", nonce="' +
                                        DIGEST_NONCE.encode() + b'", qop="auth", algorithm=MD5\r\n'))
            elif route == b"/onvif/basic":
                conn.sendall(answer(401, b"", b'WWW-Authenticate: Basic realm="cam"\r\n'))
            elif route == b"/onvif/soap":
                conn.sendall(answer(200, SOAP_HOSTNAME, b"Content-Type: application/soap+xml\r\n"))
            elif route == b"/get_Status.cgi":
                page = b"var alias=\"cam\";\r\n"
                if self.args.sys_ver:
                    page += b"var sys_ver=\"" + self.args.sys_ver.encode() + b"\";\r\n"
                conn.sendall(answer(200, page))
            else:
                mode = self.args.answer
                if mode == "100-200":
                    conn.sendall(b"HTTP/1.1 100 Continue\r\n\r\n" + answer(200, b"ok"))
                elif mode == "200-location":
                    conn.sendall(answer(200, b"ok", b"Location: /elsewhere\r\n"))
                else:
                    conn.sendall(answer(int(mode), b"answer"))

    def serve(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", self.args.port))
        listener.listen(16)
        print("PORT %d" % listener.getsockname()[1], flush=True)
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=self.handle, args=(conn,), daemon=True).start()


def parse(path):
    from email.parser import BytesParser
    from email import policy
    raw = open(path, "rb").read()
    head, _, body = raw.partition(b"\r\n\r\n")
    content_type = b""
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-type":
            content_type = value.strip()
    message = BytesParser(policy=policy.HTTP).parsebytes(
        b"Content-Type: " + content_type + b"\r\nMIME-Version: 1.0\r\n\r\n" + body)
    parts = list(message.iter_parts())
    out = {"parts": len(parts), "defects": len(message.defects)}
    if parts:
        part = parts[0]
        payload = part.get_payload(decode=True) or b""
        out.update({
            "name": part.get_param("name", header="content-disposition"),
            "filename": part.get_filename(),
            "content_type": part.get_content_type(),
            "transfer_encoding": part.get("Content-Transfer-Encoding"),
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        })
    print(json.dumps(out))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "parse":
        parse(sys.argv[2])
        return
    p = argparse.ArgumentParser()
    p.add_argument("--record-dir", required=True)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--answer", default="200")
    p.add_argument("--sys-ver", default="")
    Server(p.parse_args()).serve()


if __name__ == "__main__":
    main()
