#!/usr/bin/env python3
"""Tests of the camera simulator.

    test_camsim.py --unit     the simulator's encoders and decoders against byte vectors written
                              by hand from the message tables (no root needed)
    test_camsim.py            those, then the namespace tests: queries and commands sent from the
                              pc namespace with plain sockets, answers checked byte by byte.
                              Without root or `ip netns` the namespace part is skipped: the
                              program exits 77 after the unit tests passed.
"""

from __future__ import annotations

import hashlib
import json
import os
import socket
import struct
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import camsim  # noqa: E402
import harness  # noqa: E402


def h(*parts: str) -> bytes:
    """Bytes from hex pieces (blanks allowed)."""
    return bytes.fromhex("".join(parts).replace(" ", ""))


def z(count: int) -> str:
    return "00" * count


def text_hex(text: str, width: int) -> str:
    raw = text.encode()
    return raw.hex() + z(width - len(raw))


SAMPLE = {
    "family": 0, "mac": "00:1A:2B:3C:4D:5E", "name": "cam1", "version": "V1.0", "ip": "192.168.1.20",
    "mask": "255.255.255.0", "gateway": "192.168.1.1", "httpPort": 8080, "ipMode": 1, "ddnsUser": "u",
    "ddnsPassword": "p", "dns1": "8.8.8.8", "dns2": "1.1.1.1", "ddnsHost": "h.example", "ddnsOption": 3,
    "ddnsHost2": "h2", "protocolVersion": 2, "dnsAuto": 0, "deviceId": "D1", "dataPort": 9000,
    "binWord": 0x1234, "userName": "admin", "userPassword": "pw", "ddnsEnabled": 1, "ddnsPort": 8090,
}


def sample(**changes) -> dict:
    entry = dict(SAMPLE)
    entry.update(changes)
    return camsim.Device(entry, 0, "192.168.1.20").d


# The 256-byte KT352 query: the magic and the fourteen tag/length rows with zero values.
KT352_ROWS = [(0x10, 6), (0x20, 16), (0x21, 16), (0x11, 4), (0x12, 4), (0x13, 4), (0x14, 4), (0x1F, 4),
              (0x22, 16), (0x23, 16), (0x24, 4), (0x28, 4), (0x25, 30), (0x26, 1)]
KT352_QUERY = (b"KT352" + b"".join(bytes([tag, length]) + bytes(length) for tag, length in KT352_ROWS)).ljust(256, b"\0")
MOI_QUERY = h("4D4F5F49 0000", z(9), "04000000", z(4), "00000001")
CTP_SEARCH = b"SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"
BIN_SEARCH = h("1010010F00000000")
DH_SEARCH = h("44480101")


def hds_search(client_id: str = "01234567-89AB-CDEF-0123-456789ABCDEF") -> bytes:
    return (f"SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:{client_id}\r\nAccept-Type:text/HDP\r\n"
            f"Content-Length:0\r\n\r\n").encode()


class ReplyEncoders(unittest.TestCase):
    def test_kt352_reply_items_in_table_order(self):
        expected = h("4B54333532",
                     "1006 001A2B3C4D5E",
                     "2010", text_hex("cam1", 16),
                     "2110", text_hex("V1.0", 16),
                     "1104 C0A80114", "1204 FFFFFF00", "1304 C0A80101",
                     "1404 901F0000",          # 8080 little-endian in the first two value bytes
                     "1F04 FFFF0101",          # dynamic address
                     "2210", text_hex("u", 16), "2310", text_hex("p", 16),
                     "2404 08080808", "2804 01010101",
                     "251E", text_hex("h.example", 30),
                     "2601 03", "00")
        self.assertEqual(camsim.kt352_reply(sample()), expected.ljust(256, b"\0"))

    def test_kt352_assignment_values(self):
        for mode, value in ((0, "0101FFFF"), (1, "FFFF0101"), (2, "FFFFFFFF")):
            reply = camsim.kt352_reply(sample(ipMode=mode))
            self.assertEqual(reply[73:79], h("1F04", value), mode)

    def test_peltra_and_zorix_replies_carry_22_fields(self):
        self.assertEqual(camsim.comma_reply(sample(family=1, version="1.2.3"), "PELTRAREPLY"),
                         b"PELTRAREPLY,0,00:1A:2B:3C:4D:5E,192.168.1.20,8080,255.255.255.0,192.168.1.1,cam1,"
                         b"h.example,u,p,3,1,2,3,0,1,0,8.8.8.8,1.1.1.1,h2,2")
        self.assertEqual(camsim.comma_reply(sample(family=7, version="4.5.6", ipMode=0, dnsAuto=1), "ZORIXREPLY"),
                         b"ZORIXREPLY,0,00:1A:2B:3C:4D:5E,192.168.1.20,8080,255.255.255.0,192.168.1.1,cam1,"
                         b"h.example,u,p,3,4,5,6,1,0,1,8.8.8.8,1.1.1.1,h2,2")

    def test_reply_fields_cuts_the_reply(self):
        reply = camsim.comma_reply(sample(family=1, version="1.2.3", replyFields=19), "PELTRAREPLY")
        self.assertEqual(reply.count(b","), 18)

    def test_zorixnet_reply_short_layout(self):
        self.assertEqual(camsim.zorixnet_reply(sample(family=999, version="3.1.4", ipMode=2)),
                         b"ZORIXNETREPLY,0,00:1A:2B:3C:4D:5E,192.168.1.20,8080,255.255.255.0,192.168.1.1,cam1,"
                         b"h.example,u,p,0,0,0,8.8.8.8,1.1.1.1,3.1.4")

    def test_moi_reply_body_64(self):
        device = sample(family=2, mac="001A2B3C4D5E", version="1.2.3.4:5.6.7.8", moiBodyLength=64)
        expected = h("4D4F5F49 0100", z(9), "40000000", z(4),
                     text_hex("001A2B3C4D5E", 13), text_hex("cam1", 21),
                     "C0A80114 FFFFFF00 C0A80101 08080808 01010101",
                     "01020304 05060708", "1F90")
        self.assertEqual(camsim.moi_reply(device), expected)

    def test_moi_reply_body_195_carries_mode_and_ddns(self):
        reply = camsim.moi_reply(sample(family=2, mac="001A2B3C4D5E", version="1.2.3.4:5.6.7.8"))
        self.assertEqual(len(reply), 23 + 195)
        self.assertEqual(reply[15:19], h("C3000000"))
        self.assertEqual(reply[87], 1)  # body byte 64: dynamic
        self.assertEqual(reply[88:88 + 65], h(text_hex("h.example", 65)))
        self.assertEqual(reply[153:153 + 65], h(text_hex("u", 65)))
        self.assertEqual(camsim.moi_reply(sample(family=2, ipMode=2))[87], 0)

    def test_moi_name_cut_on_a_character_boundary(self):
        reply = camsim.moi_reply(sample(family=2, name="ä" * 15))  # 30 bytes of UTF-8
        self.assertEqual(reply[36:57], ("ä" * 10).encode() + b"\0")

    def test_uicam_reply(self):
        device = sample(family=3, version="01-0A", uicamBit7=1, uicamBits45=3, uicamLow4=7, uicamLow3=5,
                        uicamPairA="A", uicamPairB="B")
        reply = camsim.uicam_reply(device)
        self.assertEqual(len(reply), 520)
        self.assertEqual(reply[0:36], h("75697632 010A 0000 001A2B3C4D5E 1F90 C0A80114 C0A80101 FFFFFF00"
                                        "08080808 01010101"))
        self.assertEqual(reply[52:55], h("36 B7 85"))
        strings = (b"admin:pw\0\0h.example\0\0GET /api/userip.asp?username=u&userpwd=p&tcpport=8080"
                   b"&lanip=192.168.1.20&\r\n\r\n\0A:B\0\0")
        self.assertEqual(reply[62:62 + len(strings)], strings)
        self.assertEqual(reply[62 + len(strings):], bytes(520 - 62 - len(strings)))

    def test_uicam_flags_b(self):
        for mode, low3, value in ((0, 0, 0x08), (1, 0, 0x80), (2, 5, 0x05), (1, 7, 0x87)):
            self.assertEqual(camsim.uicam_reply(sample(family=3, ipMode=mode, uicamLow3=low3))[54], value)

    def test_ctp_reply(self):
        self.assertEqual(camsim.ctp_reply(sample(family=5, version="V2")),
                         b"REPLY search CTP/1.0\r\n-sn D1\r\n-name cam1\r\n-ip 192.168.1.20\r\n-netmask 255.255.255.0\r\n"
                         b"-gw 192.168.1.1\r\n-portctp 8080\r\n-mdns 8.8.8.8\r\n-sdns 1.1.1.1\r\n"
                         b"-mac 00:1A:2B:3C:4D:5E\r\n-ddns h.example\r\n-ddnsuser u\r\n-ddnspswd p\r\n-version V2\r\n\r\n")

    def test_hds_reply(self):
        body = (b"Device-ID=D1\r\nDevice-Name=cam1\r\nIP=192.168.1.20\r\nMASK=255.255.255.0\r\nGateway=192.168.1.1\r\n"
                b"MAC=00:1A:2B:3C:4D:5E\r\nDhcp=1\r\nFdns=8.8.8.8\r\nSdns=1.1.1.1\r\nDdns=0\r\nHttp-Port=8080\r\n"
                b"DDNS-Enable=y\r\nDDNS-User=u\r\nDDNS-Passwd=p\r\nDDNS-Host=h.example\r\nDDNS-Port=8090\r\n"
                b"Software-Version=2.6\r\n")
        expected = (b"HDS/1.0 200 OK\r\nCSeq:1\r\nClient-ID:C\r\nContent-Type:text/HDP\r\nContent-Length:"
                    + str(len(body)).encode() + b"\r\n\r\n" + body)
        self.assertEqual(camsim.hds_reply(sample(family=6, version="2.6"), "C"), expected)

    BLOCK = "".join([text_hex("192.168.1.20", 16), text_hex("255.255.255.0", 16), text_hex("192.168.1.1", 16),
                     text_hex("8.8.8.8", 16), text_hex("1.1.1.1", 16),
                     "901F 901F 901F 2823",          # HTTP port three times, data port 9000
                     "001A2B3C4D5E", "3412",          # MAC, binWord
                     "0102030405060A", "01",          # device identifier, dynamic flag
                     text_hex("cam1", 24)])

    def test_6801_first_answer(self):
        device = sample(family=8, deviceId="0102030405060A", seqWord=0x0207)
        self.assertEqual(camsim.bin6801_first(device), h("1010018F 0702 8400", z(4), self.BLOCK))

    def test_6801_settings_message(self):
        device = sample(family=8, deviceId="0102030405060A", seqWord=0x0207, version="10.2.1")
        self.assertEqual(camsim.bin6801_settings(device), h("1010128F 0702 A000", self.BLOCK, text_hex("10.2.1", 32)))

    def test_6801_ddns_message(self):
        device = sample(family=8, deviceId="0102030405060A", seqWord=0x0207)
        message = camsim.bin6801_ddns(device)
        self.assertEqual(len(message), 400)
        self.assertEqual(message[0:8], h("10100F8F 0702 8801"))
        self.assertEqual(message[96:102], h("001A2B3C4D5E"))
        self.assertEqual(message[142:152], b"h.example\0")
        self.assertEqual(message[272:274], b"u\0")
        self.assertEqual(message[336:338], b"p\0")

    def test_6801_name_always_nul_terminated(self):
        block = camsim.block6801(sample(family=8, name="x" * 30))
        self.assertEqual(block[104:128], b"x" * 23 + b"\0")

    def test_dh_search_reply(self):
        reply = camsim.dh_search_reply(sample(family=9, version="21.1.0.1"))
        self.assertEqual(len(reply), 516)
        self.assertEqual(reply[0:4], h("44480108"))
        self.assertEqual(reply[4:20], h(text_hex("192.168.1.20", 16)))
        self.assertEqual(reply[20:36], h(text_hex("255.255.255.0", 16)))
        self.assertEqual(reply[36:52], h(text_hex("192.168.1.1", 16)))
        self.assertEqual(reply[52:84], h(text_hex("8.8.8.8", 16), text_hex("1.1.1.1", 16)))
        self.assertEqual(reply[84:92], h("001A2B3C4D5E 901F"))
        self.assertEqual(reply[92:124], h(text_hex("D1", 32)))
        self.assertEqual(reply[124:204], h(text_hex("cam1", 80)))
        self.assertEqual(reply[204:220], h(text_hex("21.1.0.1", 16)))
        self.assertEqual(reply[236:300], h(text_hex("admin", 32), text_hex("pw", 32)))
        self.assertEqual(reply[301], 1)
        self.assertEqual(reply[324:516], h(text_hex("h.example", 64), text_hex("h2", 64), text_hex("u", 32),
                                           text_hex("p", 32)))

    def test_dh_ack(self):
        self.assertEqual(camsim.dh_ack(0x8000), h("44480208", z(320), "00800000"))


class CommandDecoders(unittest.TestCase):
    def test_classify(self):
        table = [
            (10000, b"PELTRAQUERY,0", "query:peltra"), (10000, b"ZORIXQUERY,0", "query:zorix"),
            (10000, b"ZORIXNETQUERY,0", "query:zorixnet"), (10000, b"IPQUERY", "query:ip"),
            (10000, b"IPREPLY10.0.0.1", "echo:ipreply"), (10000, b"IPREPLY", "other"),
            (10000, b"PELTRAQUERY,1,a", "command:peltra"), (10000, b"PELTRAQUERY,3,a", "command:peltra3"),
            (10000, b"ZORIXNETQUERY,1,a", "command:zorixnet"), (10000, b"PELTRAQUERY,0x", "other"),
            (10000, MOI_QUERY, "query:moi"), (10000, h("4D4F5F49 0200"), "command:moi"),
            (4000, KT352_QUERY, "query:kt352"), (4000, h("4B54333532 1006 001A2B3C4D5E 00"), "command:kt352"),
            (4000, b"KT352", "other"), (10139, b"uicam query", "query:uicam"), (10139, b"uisp", "command:uicam"),
            (7999, CTP_SEARCH, "query:ctp"), (7999, b"CMD setip CTP/1.0\r\n", "command:ctp"),
            (8002, hds_search(), "query:hds"), (8002, b"CMD * HDS/1.0\r\n", "command:hds"),
            (8002, b"HDS/1.0 200 OK\r\n", "other"),
            (6801, BIN_SEARCH, "query:6801"), (6801, h("1010120F"), "answer:6801-0f12"),
            (6801, h("10100F0F"), "answer:6801-0f0f"), (6801, h("1010020F"), "command:6801"),
            (6801, h("1010"), "other"), (8600, DH_SEARCH, "query:dh"), (8600, h("44480201"), "command:dh"),
            (8600, h("44480108"), "other"),
        ]
        for port, data, what in table:
            self.assertEqual(camsim.classify(port, data), what, (port, data))

    def test_kt352_port_change(self):
        # Port 80 -> 8080: target item, the port item as the text 8080, the assignment item.
        message = h("4B54333532 1006 001A2B3C4D5E 1404 38303830 1F04 FFFFFFFF").ljust(256, b"\0")
        self.assertEqual(camsim.kt352_command(message), ("001A2B3C4D5E", {"httpPort": 8080, "ipMode": 2}))

    def test_kt352_all_items(self):
        message = h("4B54333532 1006 001A2B3C4D5E", "1006 001A2B3C4D5F", "2010", text_hex("Cam2", 16),
                    "1104 C0A8010A 1204 FFFF0000 1304 C0A801FE", "1404 38300000",
                    "2210", text_hex("user", 16), "251E", text_hex("dyn.example", 30), "2601 05",
                    "2310", text_hex("pass", 16), "2404 01020304 2804 05060708", "1F04 0101FFFF").ljust(256, b"\0")
        target, changes = camsim.kt352_command(message)
        self.assertEqual(target, "001A2B3C4D5E")
        self.assertEqual(changes, {"mac": "001A2B3C4D5F", "name": "Cam2", "ip": "192.168.1.10", "mask": "255.255.0.0",
                                   "gateway": "192.168.1.254", "httpPort": 80, "ddnsUser": "user",
                                   "ddnsHost": "dyn.example", "ddnsOption": 5, "ddnsPassword": "pass",
                                   "dns1": "1.2.3.4", "dns2": "5.6.7.8", "ipMode": 0})
        dynamic = h("4B54333532 1006 001A2B3C4D5E 1F04 FFFF0101").ljust(256, b"\0")
        self.assertEqual(camsim.kt352_command(dynamic)[1], {"ipMode": 1})

    def test_kt352_query_is_not_a_command(self):
        self.assertEqual(len(KT352_QUERY), 256)
        self.assertEqual(KT352_QUERY[159:162], h("2601 00"))
        self.assertTrue(camsim.is_kt352_query(KT352_QUERY))

    def test_peltra_command(self):
        text = ("PELTRAQUERY,1,00:1A:2B:3C:4D:5E,00:1A:2B:3C:4D:5E,192.168.1.30,81,255.255.0.0,192.168.1.254,"
                "new,cam,h,u,p,0,1,1,9.9.9.9,8.8.8.8,admin,secret")  # a name with a comma in it
        listed, changes, user, password = camsim.comma_command(text)
        self.assertEqual((listed, user, password), ("00:1A:2B:3C:4D:5E", "admin", "secret"))
        self.assertEqual(changes, {"mac": "00:1A:2B:3C:4D:5E", "ip": "192.168.1.30", "httpPort": 81,
                                   "mask": "255.255.0.0", "gateway": "192.168.1.254", "name": "new,cam",
                                   "ddnsHost": "h", "ddnsUser": "u", "ddnsPassword": "p", "ipMode": 1,
                                   "dnsAuto": 1, "dns1": "9.9.9.9", "dns2": "8.8.8.8"})

    def test_zorixnet_command_and_pppoe_rule(self):
        text = "ZORIXNETQUERY,1,AA,AA,10.0.0.9,80,255.0.0.0,10.0.0.1,,,,1,1,0,1.1.1.1,2.2.2.2,admin,"
        listed, changes, user, password = camsim.comma_command(text)
        self.assertEqual((listed, user, password), ("AA", "admin", ""))
        self.assertEqual(changes["ipMode"], 0)  # PPPoE wins over dynamic
        self.assertNotIn("name", changes)
        self.assertIsNone(camsim.comma_command("ZORIXNETQUERY,1,AA,AA,10.0.0.9"))

    def test_moi_command(self):
        message = h("4D4F5F49 0200", z(9), "3D000000", z(4), z(4), text_hex("001A2B3C4D5E", 13),
                    text_hex("admin", 13), "61626364656667686970717273",  # 13 characters, no NUL
                    "C0A8011E FFFFFF00 C0A80101 08080808 0051")
        self.assertEqual(len(message), 84)
        mac, changes, user, password = camsim.moi_command(message)
        self.assertEqual((mac, user, password), ("001A2B3C4D5E", "admin", "abcdefghipqrs"))
        self.assertEqual(changes, {"ip": "192.168.1.30", "mask": "255.255.255.0", "gateway": "192.168.1.1",
                                   "dns1": "8.8.8.8", "httpPort": 81})

    def test_uisp_command(self):
        message = bytearray(520)
        message[0:36] = h("75697370 010A 0000 001A2B3C4D5E 0051 C0A8011E C0A801FE FFFF0000 01010101 02020202")
        message[44] = 0x80
        message[52:55] = h("36 B7 8D")
        strings = (b"root:toor\0\0new.example\0old\0GET /api/userip.asp?username=bob&userpwd=pw&tcpport=81"
                   b"&lanip=192.168.1.30&\r\n\r\n\0X:Y\0\0")
        message[62:62 + len(strings)] = strings
        key, changes = camsim.uisp_command(bytes(message))
        self.assertEqual(key, "001A2B3C4D5E")
        self.assertEqual(changes, {"httpPort": 81, "ip": "192.168.1.30", "gateway": "192.168.1.254",
                                   "mask": "255.255.0.0", "dns1": "1.1.1.1", "dns2": "2.2.2.2", "uicamBit7": 1,
                                   "uicamBits45": 3, "uicamLow4": 7, "ipMode": 1, "uicamLow3": 5,
                                   "userName": "root", "userPassword": "toor", "uicamS2": "",
                                   "ddnsHost": "new.example", "ddnsUser": "bob", "ddnsPassword": "pw",
                                   "uicamPairA": "X", "uicamPairB": "Y"})

    def test_ctp_setip(self):
        arguments = ("-sn D1\r\n-interface 192.168.1.20\r\n-pswd secret\r\n-dhcpen 0\r\n-ip 192.168.1.30\r\n"
                     "-netmask 255.255.255.0\r\n-defgw 192.168.1.1\r\n-name cam 2\r\n-mdns 8.8.8.8\r\n"
                     "-sdns 1.1.1.1\r\n-mac 00:1A:2B:3C:4D:5E\r\n-port 81\r\n\r\n")
        # The count runs from the empty line after the length header to the end.
        message = f"CMD setip CTP/1.0\r\nContent-Length: {len(arguments) + 2}\r\n\r\n{arguments}"
        parsed, changes, length_ok = camsim.ctp_setip(message)
        self.assertTrue(length_ok)
        self.assertEqual((parsed["-sn"], parsed["-interface"], parsed["-pswd"]), ("D1", "192.168.1.20", "secret"))
        self.assertEqual(changes, {"ip": "192.168.1.30", "mask": "255.255.255.0", "gateway": "192.168.1.1",
                                   "name": "cam 2", "dns1": "8.8.8.8", "dns2": "1.1.1.1", "ipMode": 2,
                                   "mac": "001A2B3C4D5E", "httpPort": 81})
        wrong = f"CMD setip CTP/1.0\r\nContent-Length: {len(arguments)}\r\n\r\n{arguments}"
        self.assertFalse(camsim.ctp_setip(wrong)[2])

    HDS_HEAD = ("CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:01234567-89AB-CDEF-0123-456789ABCDEF\r\n"
                "Accept-Type:text/HDP\r\nAuthorization:Basic admin:pw\r\nDevice-ID:D1\r\n")

    def test_hds_dnameset(self):
        message = self.HDS_HEAD + "Content-Length:22\r\n\r\ndnameset set -name abc\r\n\r\n"
        headers, line, changes, length_ok = camsim.hds_command(message)
        self.assertEqual((headers["Device-ID"], headers["Authorization"]), ("D1", "Basic admin:pw"))
        self.assertEqual((line, changes, length_ok), ("dnameset set -name abc", {"name": "abc"}, True))
        short = self.HDS_HEAD + "Content-Length:21\r\n\r\ndnameset set -name abc\r\n\r\n"
        self.assertFalse(camsim.hds_command(short)[3])

    def test_hds_other_commands(self):
        table = [
            ("netconf set -ipaddr 10.0.0.5 -netmask 255.0.0.0 -gateway 10.0.0.1 -dhcp on -fdnsip 1.1.1.1 "
             "-sdnsip 2.2.2.2 -dnsstat 1 -hwaddr 00:1A:2B:3C:4D:5E",
             {"ip": "10.0.0.5", "mask": "255.0.0.0", "gateway": "10.0.0.1", "ipMode": 1, "dns1": "1.1.1.1",
              "dns2": "2.2.2.2", "dnsAuto": 1, "mac": "00:1A:2B:3C:4D:5E"}),
            ("ddnsset set -fenable off -fport 808 -fuser  -fpasswd  -fhost ",
             {"ddnsEnabled": 0, "ddnsPort": 808, "ddnsUser": "", "ddnsPassword": "", "ddnsHost": ""}),
            ("httpport set -httpport 8081", {"httpPort": 8081}),
            ("reboot", {}),
        ]
        for line, expected in table:
            message = self.HDS_HEAD + f"Content-Length:{len(line)}\r\n\r\n{line}\r\n\r\n"
            self.assertEqual(camsim.hds_command(message)[2], expected, line)

    def test_6801_setting(self):
        listed = "".join([text_hex("192.168.1.20", 16), text_hex("255.255.255.0", 16), text_hex("192.168.1.1", 16),
                          text_hex("8.8.8.8", 16), text_hex("1.1.1.1", 16), "5000 5000 5000 401F",
                          "001A2B3C4D5E", "3412", "0102030405060A", "02", text_hex("cam1", 24)])
        edited = "".join([text_hex("192.168.1.30", 16), text_hex("255.255.0.0", 16), text_hex("192.168.1.254", 16),
                          text_hex("9.9.9.9", 16), text_hex("", 16), "5100 5100 5100 401F",
                          "001A2B3C4D5E", "3412", "0102030405060A", "01", text_hex("neu", 24)])
        message = h("1010020F 0000 0001", listed, edited)
        self.assertEqual(len(message), 264)
        key, changes, listed_mode = camsim.bin6801_setting(message)
        self.assertEqual((key, listed_mode), ("001A2B3C4D5E", 2))
        self.assertEqual(changes, {"ip": "192.168.1.30", "mask": "255.255.0.0", "gateway": "192.168.1.254",
                                   "dns1": "9.9.9.9", "dns2": "", "httpPort": 81, "dataPort": 8000,
                                   "mac": "001A2B3C4D5E", "binWord": 0x1234, "deviceId": "0102030405060A",
                                   "ipMode": 1, "name": "neu"})

    def test_dh_settings(self):
        message = h("44480201", text_hex("192.168.1.30", 16), text_hex("255.255.255.0", 16),
                    text_hex("192.168.1.1", 16), text_hex("8.8.8.8", 16), text_hex("8.8.4.4", 16),
                    "001A2B3C4D5E 5100", z(32), text_hex("cam9", 80), text_hex("21.1.0.1", 16), z(16),
                    text_hex("admin", 32), text_hex("pw", 32), "00 01", z(22))
        self.assertEqual(len(message), 324)
        key, changes, user, password = camsim.dh_settings(message)
        self.assertEqual((key, user, password), ("001A2B3C4D5E", "admin", "pw"))
        self.assertEqual(changes, {"ip": "192.168.1.30", "mask": "255.255.255.0", "gateway": "192.168.1.1",
                                   "dns1": "8.8.8.8", "dns2": "8.8.4.4", "httpPort": 81, "name": "cam9",
                                   "ipMode": 1})

    def test_short_and_garbage_datagrams_are_safe(self):
        for data in (b"", b"\x10", b"\x10\x10\x02", b"KT352\x10", b"MO_I\x02", b"uisp", b"DH\x02\x01",
                     b"CMD setip CTP/1.0\r\n", b"CMD * HDS/1.0\r\n", bytes(range(256)) * 4):
            camsim.kt352_command(data)
            camsim.moi_command(data)
            camsim.uisp_command(data)
            camsim.bin6801_setting(data)
            camsim.dh_settings(data)
            camsim.ctp_setip(data.decode("latin-1"))
            camsim.hds_command(data.decode("latin-1"))
            for port in camsim.ALL_PORTS:
                camsim.classify(port, data)

    def test_multipart_part(self):
        body = (b"----------120813141523456\r\nContent-Transfer-Encoding: binary\r\n"
                b"Content-Disposition: form-data; name=\"file\"; filename=\"C:\\fw\\a.bin\"\r\n"
                b"Content-Type: application/octet-stream\r\n\r\nBNEG\x00\x01\r\n----------120813141523456--\r\n")
        part = camsim.multipart_part("multipart/form-data; boundary=--------120813141523456", body)
        self.assertEqual((part["name"], part["filename"], part["contentType"], part["transferEncoding"]),
                         ("file", "C:\\fw\\a.bin", "application/octet-stream", "binary"))
        self.assertEqual((part["content"], part["closed"]), (b"BNEG\x00\x01", True))


class FakeSocket:
    def __init__(self):
        self.sent = []

    def sendto(self, data, address):
        self.sent.append((bytes(data), address))


class SimulatorWithoutSockets(unittest.TestCase):
    """The simulator's bookkeeping, driven through its datagram handler with recording sockets."""

    PC = ("10.0.0.1", 9999)

    def setUp(self):
        import tempfile
        self.folder = tempfile.TemporaryDirectory()
        self.devices_path = os.path.join(self.folder.name, "devices.json")
        self.write([{"family": 0, "mac": "00:10:00:00:00:00"}, {"family": 9, "mac": "00:10:00:00:00:09"},
                    {"family": 9, "mac": "00:10:00:00:00:19", "ackStatus": 2},
                    {"family": 6, "mac": "00:10:00:00:00:06", "deviceId": "H6", "checkUser": "admin"}])
        args = camsim.parse_arguments(["--devices", self.devices_path, "--address", "10.0.0.2", "--rate", "0",
                                       "--state", os.path.join(self.folder.name, "state.json")])
        self.sim = camsim.Simulator(args)
        self.sockets = {port: FakeSocket() for port in camsim.ALL_PORTS}
        self.sim.sockets = self.sockets
        self.sim.load()

    def tearDown(self):
        self.folder.cleanup()

    def write(self, devices):
        with open(self.devices_path, "w") as handle:
            json.dump(devices, handle)

    def feed(self, port, data, source=PC):
        what, notes = self.sim.handle(port, data, source)
        self.sim.pump()
        return what, notes

    def device(self, key):
        return next(d for d in self.sim.devices if d.key == key).d

    def test_reload_keeps_applied_settings_of_unchanged_objects(self):
        self.feed(4000, h("4B54333532 1006 001000000000 1104 0A000063 1F04 FFFFFFFF").ljust(256, b"\0"))
        self.assertEqual(self.device("001000000000")["ip"], "10.0.0.99")
        self.write([{"family": 0, "mac": "00:10:00:00:00:00"}, {"family": 1, "mac": "00:10:00:00:00:01"}])
        self.sim.load()
        self.assertEqual(self.device("001000000000")["ip"], "10.0.0.99")
        self.write([{"family": 0, "mac": "00:10:00:00:00:00", "name": "fresh"}])
        self.sim.load()
        self.assertEqual((self.device("001000000000")["ip"], len(self.sim.devices)), ("10.0.0.2", 1))
        with open(self.sim.args.state) as handle:
            self.assertEqual([d["name"] for d in json.load(handle)], ["fresh"])

    def test_command_for_an_unknown_mac_changes_nothing(self):
        self.feed(4000, h("4B54333532 1006 00AA00000000 1104 0A000063 1F04 FFFFFFFF").ljust(256, b"\0"))
        self.assertEqual(self.device("001000000000")["ip"], "10.0.0.2")
        self.assertEqual(self.sim.pending_log[-1]["reason"], "no such device")

    def dh_request(self, mac):
        return h("44480201", text_hex("10.0.0.77", 16), z(64), mac, "5000", z(32), text_hex("x", 80), z(32),
                 text_hex("admin", 32), z(32), "00 01", z(22))

    def test_family9_acknowledgement_status(self):
        self.feed(8600, self.dh_request("001000000009"), ("10.0.0.1", 8600))
        self.feed(8600, self.dh_request("001000000019"), ("10.0.0.1", 8600))
        sent = self.sockets[8600].sent
        self.assertEqual([(data[:4], data[324:328], address) for data, address in sent],
                         [(h("44480208"), h("00800000"), ("10.0.0.1", 8600)),
                          (h("44480208"), h("02000000"), ("10.0.0.1", 8600))])
        self.assertEqual((self.device("001000000009")["ip"], self.device("001000000009")["ipMode"]), ("10.0.0.77", 1))
        self.assertEqual(self.device("001000000019")["ip"], "10.0.0.2")

    def test_hds_credentials_checked(self):
        line = "httpport set -httpport 8081"
        for user, expected in (("guest", 80), ("admin", 8081)):
            message = (f"CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:C\r\nAccept-Type:text/HDP\r\n"
                       f"Authorization:Basic {user}:x\r\nDevice-ID:H6\r\nContent-Length:{len(line)}\r\n\r\n"
                       f"{line}\r\n\r\n").encode()
            self.feed(8002, message)
            self.assertEqual(self.device("001000000006")["httpPort"], expected, user)

    def test_6801_exchange_answers_only_the_device_named(self):
        self.write([{"family": 8, "mac": "00:10:00:00:00:08", "seqWord": 0x0102},
                    {"family": 8, "mac": "00:10:00:00:00:18"}])
        self.sim.load()
        self.feed(6801, BIN_SEARCH, ("10.0.0.1", 6800))
        first = [data for data, _ in self.sockets[6801].sent]
        self.assertEqual(len(first), 2)
        self.sockets[6801].sent.clear()
        answer = first[0][:2] + h("120F") + first[0][4:6] + h("8000") + first[0][12:140]
        what, notes = self.feed(6801, answer, ("10.0.0.1", 6800))
        self.assertEqual((what, notes["wordOk"], notes["lengthOk"]), ("answer:6801-0f12", True, True))
        self.assertEqual([(data[2:4], data[96:102]) for data, _ in self.sockets[6801].sent],
                         [(h("128F"), h("001000000008"))])

    def test_every_family_command_reaches_its_device(self):
        self.write([{"family": 1, "mac": "00:10:00:00:00:01"}, {"family": 2, "mac": "001000000002"},
                    {"family": 3, "mac": "00:10:00:00:00:03"}, {"family": 5, "mac": "00:10:00:00:00:05", "deviceId": "C5"},
                    {"family": 8, "mac": "00:10:00:00:00:08"}, {"family": 999, "mac": "00:10:00:00:09:99"},
                    {"family": 2, "mac": "001000000012"}])
        self.sim.load()
        uisp = bytearray(520)
        uisp[0:36] = h("75697370 0000 0000 001000000003 0050 0A00002A 0A000001 FFFFFF00", z(8))
        block = lambda ip, mode: "".join([text_hex(ip, 16), z(64), "5000 5000 5000 401F", "001000000008", z(2),
                                          z(7), mode, text_hex("b", 24)])
        ctp_arguments = "-sn C5\r\n-interface 10.0.0.2\r\n-pswd \r\n-dhcpen 1\r\n-ip 10.0.0.45\r\n\r\n"
        table = [
            (10000, b"PELTRAQUERY,1,00:10:00:00:00:01,00:10:00:00:00:01,10.0.0.41,80,255.255.255.0,10.0.0.1,"
                    b"p,,,,0,0,0,,,admin,", "001000000001", "10.0.0.41"),
            (10000, b"ZORIXNETQUERY,1,00:10:00:00:09:99,00:10:00:00:09:99,10.0.0.49,80,255.255.255.0,10.0.0.1,"
                    b",,,0,0,0,,,admin,", "001000000999", "10.0.0.49"),
            (10000, h("4D4F5F49 0200", z(9), "3D000000", z(8), text_hex("001000000002", 13), z(26),
                      "0A00002B FFFFFF00 0A000001 08080808 0050"), "001000000002", "10.0.0.43"),
            (10139, bytes(uisp), "001000000003", "10.0.0.42"),
            (7999, f"CMD setip CTP/1.0\r\nContent-Length: {len(ctp_arguments) + 2}\r\n\r\n{ctp_arguments}".encode(),
             "001000000005", "10.0.0.45"),
            (6801, h("1010020F 0000 0001", block("10.0.0.2", "00"), block("10.0.0.48", "01")), "001000000008",
             "10.0.0.48"),
        ]
        for port, command, key, ip in table:
            self.feed(port, command)
            self.assertEqual(self.device(key)["ip"], ip, key)
            self.assertTrue(self.sim.pending_log[-1]["applied"], key)
        self.assertEqual(self.device("001000000012")["ip"], "10.0.0.2")  # the other MO_I device
        self.assertEqual((self.device("001000000005")["ipMode"], self.device("001000000008")["ipMode"]), (1, 1))
        self.feed(10000, b"PELTRAQUERY,3,00:10:00:00:00:01")
        self.assertEqual(self.device("001000000001")["command3Count"], 1)

    def test_a_device_restarts_after_an_accepted_upload_as_told(self):
        self.write([{"family": 0, "mac": "00:10:00:00:00:00", "rebootMs": 150, "upgradeVersion": "V9.9.9"},
                    {"family": 0, "mac": "00:10:00:00:00:01", "rebootMs": -1},
                    {"family": 0, "mac": "00:10:00:00:00:02"}])
        self.sim.load()
        back, never, plain = self.sim.devices
        self.assertEqual([d.restart_after_upload() for d in (back, never, plain)], [150, -1, 0])
        self.assertEqual((back.silent, never.silent, plain.silent), (True, True, False))
        self.assertEqual((back.d["version"], back.d["sysVer"]), ("V9.9.9", "V9.9.9"))
        self.feed(4000, KT352_QUERY)
        self.assertEqual(len(self.sockets[4000].sent), 1)  # only the device that did not restart
        time.sleep(0.2)
        self.assertEqual((back.silent, never.silent), (False, True))

    def test_silent_device_answers_nothing(self):
        self.write([{"family": 0, "mac": "00:10:00:00:00:00", "silent": True}])
        self.sim.load()
        self.feed(4000, KT352_QUERY)
        self.assertEqual(self.sockets[4000].sent, [])


# ---------------------------------------------------------------------------------------------
# Namespace tests

PC_CLIENT = r"""
import json, select, socket, struct, sys, time
plan = json.loads(sys.argv[1])
local = plan["local"]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
try:
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
except OSError:
    pass
s.bind(("0.0.0.0", plan.get("bind", 0)))
if plan.get("join"):
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 socket.inet_aton("239.255.255.250") + socket.inet_aton(local))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(local))
index = socket.if_nametoindex(plan.get("ifname", "zv0"))
def send(data, to, port):
    if to == "broadcast":
        s.sendmsg([data], [(socket.IPPROTO_IP, 8, struct.pack("@i4s4s", index, bytes(4), bytes(4)))], 0,
                  ("255.255.255.255", port))
    elif to == "multicast":
        s.sendto(data, ("239.255.255.250", port))
    else:
        s.sendto(data, (to, port))
started = time.time()
for message in plan["send"]:
    send(bytes.fromhex(message["hex"]), message.get("to", "broadcast"), message["port"])
replies = []
deadline = time.time() + plan.get("listen", 0.5)
while time.time() < deadline:
    ready, _, _ = select.select([s], [], [], max(0, deadline - time.time()))
    if not ready:
        break
    data, source = s.recvfrom(65535)
    if source[0] == local:
        continue  # our own broadcast or multicast, looped back
    replies.append([source[0], source[1], data.hex(), time.time() - started])
    if plan.get("answer6801") and len(data) >= 8 and data[:2] == b"\x10\x10":
        code = data[2] | data[3] << 8
        if code == 0x8F01:
            send(data[:2] + b"\x12\x0f" + data[4:6] + b"\x80\x00" + data[12:140], "broadcast", 6801)
        elif code == 0x8F12:
            send(data[:2] + b"\x0f\x0f" + data[4:6] + b"\x80\x00" + data[8:136], "broadcast", 6801)
    if plan.get("count") and len(replies) >= plan["count"]:
        break
print(json.dumps(replies))
"""

DEVICES = [
    {"family": 0, "mac": "00:10:00:00:00:00", "name": "kt"},
    {"family": 1, "mac": "00:10:00:00:00:01", "name": "peltra", "ipEcho": True, "checkUser": "admin",
     "checkPassword": "pw"},
    {"family": 2, "mac": "001000000002", "name": "moi"},
    {"family": 3, "mac": "00:10:00:00:00:03", "userName": "admin", "userPassword": "pw"},
    {"family": 5, "mac": "00:10:00:00:00:05", "name": "ctp", "deviceId": "CTP5"},
    {"family": 6, "mac": "00:10:00:00:00:06", "name": "hds", "deviceId": "HDS6"},
    {"family": 7, "mac": "00:10:00:00:00:07", "name": "zorix"},
    {"family": 8, "mac": "00:10:00:00:00:08", "name": "bin", "deviceId": "0102030405060708", "seqWord": 0x0305},
    {"family": 9, "mac": "00:10:00:00:00:09", "name": "dh9", "httpPort": 81, "version": "84.2.0.121"},
    {"family": 9, "mac": "00:10:00:00:00:19", "name": "dh9b", "ackStatus": 1, "httpPort": 82, "httpAnswer": 302},
    {"family": 2, "mac": "001000000022", "name": "moi401", "httpPort": 83, "httpAnswer": 401,
     "ip": "10.231.0.50"},
    {"family": 999, "mac": "00:10:00:00:09:99", "name": "zorixnet"},
]


@unittest.skipUnless(harness.e2e_available(), harness.unavailable_reason() or "namespaces available")
class NamespaceTests(unittest.TestCase):
    topo: harness.Topology
    sim: harness.CamSim

    @classmethod
    def setUpClass(cls):
        cls.topo = harness.Topology(cameras=2).setup()
        cls.sim = cls.topo.start_camsim(DEVICES, http=True)

    @classmethod
    def tearDownClass(cls):
        cls.topo.close()

    def exchange(self, messages, listen=0.4, bind=0, join=False, answer6801=False, count=0, pair=0):
        plan = {"local": self.topo.pc.addresses[pair][1], "ifname": self.topo.pc.addresses[pair][0],
                "send": [{"port": port, "hex": data.hex(), "to": to} for port, data, to in messages],
                "listen": listen, "bind": bind, "join": join, "answer6801": answer6801, "count": count}
        result = self.topo.pc.run([sys.executable, "-c", PC_CLIENT, json.dumps(plan)], timeout=listen + 30)
        self.assertEqual(result.returncode, 0, result.stderr)
        return [(src, sport, bytes.fromhex(data), when) for src, sport, data, when in json.loads(result.stdout)]

    def query(self, port, data, **kwargs):
        return [reply for _, _, reply, _ in self.exchange([(port, data, "broadcast")], **kwargs)]

    def device(self, mac_key):
        return next(d for d in self.sim.state() if d["macKey"] == mac_key)

    def test_comma_families(self):
        for query, word, mac, count in ((b"PELTRAQUERY,0", b"PELTRAREPLY", b"00:10:00:00:00:01", 22),
                                        (b"ZORIXQUERY,0", b"ZORIXREPLY", b"00:10:00:00:00:07", 22),
                                        (b"ZORIXNETQUERY,0", b"ZORIXNETREPLY", b"00:10:00:00:09:99", 17)):
            replies = self.query(10000, query)
            self.assertEqual(len(replies), 1, query)
            fields = replies[0].split(b",")
            self.assertEqual((fields[0], fields[2], len(fields)), (word, mac, count))

    def test_binary_and_header_families(self):
        kt = self.query(4000, KT352_QUERY)
        self.assertEqual(len(kt), 1)
        self.assertEqual(kt[0][:15], h("4B54333532 1006 001000000000 2010"))
        moi = self.query(10000, MOI_QUERY)
        self.assertEqual(sorted(reply[23:35] for reply in moi), [b"001000000002", b"001000000022"])
        uicam = self.query(10139, b"uicam query")
        self.assertEqual(len(uicam), 1)
        self.assertEqual((uicam[0][:4], uicam[0][8:14], len(uicam[0])), (b"uiv2", h("001000000003"), 520))
        ctp = self.query(7999, CTP_SEARCH)
        self.assertEqual(len(ctp), 1)
        self.assertIn(b"\r\n-mac 00:10:00:00:00:05\r\n", ctp[0])
        dh = self.query(8600, DH_SEARCH, bind=3565)
        self.assertEqual(sorted(reply[84:90] for reply in dh), [h("001000000009"), h("001000000019")])
        self.assertTrue(all(len(reply) == 516 and reply[:4] == h("44480108") for reply in dh))

    def test_hds_answers_by_multicast(self):
        replies = self.exchange([(8002, hds_search("C0FFEE"), "multicast")], bind=8002, join=True)
        self.assertEqual(len(replies), 1)
        self.assertEqual(replies[0][1], 8002)
        self.assertTrue(replies[0][2].startswith(b"HDS/1.0 200 OK\r\n"))
        self.assertIn(b"\r\nMAC=00:10:00:00:00:06\r\n", replies[0][2])
        self.assertIn(b"Client-ID:C0FFEE\r\n", replies[0][2])
        entries = [e for e in self.sim.received(port=8002) if e["what"] == "query:hds"]
        self.assertEqual(entries[-1]["dst"], "239.255.255.250")

    def test_6801_three_step_exchange(self):
        replies = self.exchange([(6801, BIN_SEARCH, "broadcast")], answer6801=True, listen=0.6)
        codes = [reply[2:4] for _, _, reply, _ in replies]
        self.assertEqual(codes, [h("018F"), h("128F"), h("0F8F")])
        first, settings, ddns = (reply for _, _, reply, _ in replies)
        self.assertEqual((len(first), first[4:6], first[12 + 88:12 + 94]), (140, h("0503"), h("001000000008")))
        self.assertEqual(settings[136:143], b"10.2.1\0")
        self.assertEqual(ddns[96:102], h("001000000008"))
        answers = [e for e in self.sim.received(port=6801) if e["what"].startswith("answer:")]
        self.assertTrue(answers and all(e["wordOk"] and e["lengthOk"] for e in answers[-2:]))

    def test_ip_echo(self):
        self.assertEqual(self.query(10000, b"IPQUERY"), [b"IPREPLY"])
        before = len(self.sim.log(kind="echo"))
        reply = f"IPREPLY{self.topo.camera.addr}".encode()
        self.exchange([(10000, reply, self.topo.camera.addr)], listen=0.1)
        time.sleep(0.2)
        echoes = self.sim.log(kind="echo")[before:]
        self.assertEqual([(e["text"], e["ok"]) for e in echoes], [(reply.decode(), True)])

    def test_log_has_source_destination_and_bytes(self):
        self.query(10000, b"ZORIXNETQUERY,0", listen=0.1)
        entry = [e for e in self.sim.received(port=10000) if e["what"] == "query:zorixnet"][-1]
        self.assertEqual((entry["src"], entry["dst"], entry["hex"]),
                         (self.topo.pc.addr, "255.255.255.255", b"ZORIXNETQUERY,0".hex().upper()))

    def test_silent_device_and_reload(self):
        devices = [dict(entry) for entry in DEVICES]
        devices[6]["silent"] = True
        self.sim.write_devices(devices)
        try:
            self.assertEqual(self.query(10000, b"ZORIXQUERY,0"), [])
        finally:
            self.sim.write_devices(DEVICES)
        self.assertEqual(len(self.query(10000, b"ZORIXQUERY,0")), 1)

    def test_kt352_command_changes_the_next_answer(self):
        command = h("4B54333532 1006 001000000000", "2010", text_hex("kt-new", 16), "1104 0AE7000A",
                    "1404 38303830", "1F04 FFFF0101").ljust(256, b"\0")
        self.exchange([(4000, command, "broadcast")], listen=0.1)
        reply = self.query(4000, KT352_QUERY)[0]
        self.assertEqual(reply[15:21], b"kt-new")
        self.assertEqual(reply[49:55], h("1104 0AE7000A"))
        self.assertEqual(reply[67:73], h("1404 901F0000"))
        self.assertEqual(reply[73:79], h("1F04 FFFF0101"))

    def test_peltra_command_needs_the_right_credentials(self):
        base = ("PELTRAQUERY,1,00:10:00:00:00:01,00:10:00:00:00:01,10.231.0.40,81,255.255.255.0,10.231.0.1,"
                "peltra2,,,,0,0,0,8.8.8.8,8.8.4.4,admin,")
        self.exchange([(10000, (base + "wrong").encode(), "broadcast")], listen=0.1)
        self.assertEqual(self.device("001000000001")["ip"], self.topo.camera.addr)
        self.exchange([(10000, (base + "pw").encode(), "broadcast")], listen=0.1)
        time.sleep(0.1)
        fields = self.query(10000, b"PELTRAQUERY,0")[0].split(b",")
        self.assertEqual((fields[3], fields[4], fields[7]), (b"10.231.0.40", b"81", b"peltra2"))
        applies = [e for e in self.sim.log(kind="apply") if e["what"] == "command:peltra"]
        self.assertEqual([e["applied"] for e in applies[-2:]], [False, True])

    def test_hds_command_by_device_id(self):
        line = "dnameset set -name hds-renamed"
        command = (CommandDecoders.HDS_HEAD.replace("Device-ID:D1", "Device-ID:HDS6")
                   + f"Content-Length:{len(line)}\r\n\r\n{line}\r\n\r\n").encode()
        self.exchange([(8002, command, "multicast")], listen=0.1)
        time.sleep(0.1)
        self.assertEqual(self.device("001000000006")["name"], "hds-renamed")

    def test_family9_settings_acknowledgement(self):
        def request(mac: str) -> bytes:
            return h("44480201", text_hex("10.231.0.77", 16), text_hex("255.255.255.0", 16),
                     text_hex("10.231.0.1", 16), text_hex("8.8.8.8", 16), text_hex("8.8.4.4", 16), mac, "5100",
                     z(32), text_hex("dh9", 80), text_hex("84.2.0.121", 16), z(16), text_hex("admin", 32),
                     z(32), "00 00", z(22))
        acks = self.exchange([(8600, request("001000000009"), "broadcast")], bind=8600, listen=0.3)
        acks = [(reply, when) for _, _, reply, when in acks if reply[:4] == h("44480208")]
        self.assertEqual(len(acks), 1)
        self.assertEqual((len(acks[0][0]), acks[0][0][324:328]), (328, h("00800000")))
        self.assertLess(acks[0][1], 0.03)  # inside the client's 30-ms quiet period
        self.assertEqual((self.device("001000000009")["ip"], self.device("001000000009")["ipMode"]), ("10.231.0.77", 2))
        refused = self.exchange([(8600, request("001000000019"), "broadcast")], bind=8600, listen=0.3)
        refused = [reply for _, _, reply, _ in refused if reply[:4] == h("44480208")]
        self.assertEqual([reply[324:328] for reply in refused], [h("01000000")])
        self.assertNotEqual(self.device("001000000019")["ip"], "10.231.0.77")

    def http(self, port, target, body=None, headers=None):
        body_path = ""
        if body is not None:
            body_path = self.topo.path("http-body.bin")
            with open(body_path, "wb") as handle:
                handle.write(body)
        code = f"""
import sys, urllib.request, urllib.error
class NoRedirect(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, *args):
        return None
body = open({body_path!r}, "rb").read() if {body_path!r} else None
request = urllib.request.Request("http://{self.topo.camera.addr}:{port}{target}", data=body,
                                 headers={headers or {}!r}, method="POST" if body is not None else "GET")
try:
    answer = urllib.request.build_opener(NoRedirect).open(request, timeout=10)
    print(answer.status); sys.stdout.write(answer.read().decode())
except urllib.error.HTTPError as error:
    print(error.code); sys.stdout.write(error.read().decode())
"""
        result = self.topo.pc.python(code)
        self.assertEqual(result.returncode, 0, result.stderr)
        status, _, text = result.stdout.partition("\n")
        return int(status), text

    def test_device_reachable_at_its_own_address(self):
        result = self.topo.pc.python("import urllib.request; print(urllib.request.urlopen("
                                     "'http://10.231.0.50:83/', timeout=5).read().decode())")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("moi401", result.stdout)

    def test_http_status_page(self):
        status, text = self.http(81, "/get_Status.cgi?user=admin&pwd=")
        self.assertEqual(status, 200)
        self.assertIn('var sys_ver="84.2.0.121";', text)

    def test_uploads_are_recorded_with_the_chosen_answer(self):
        boundary = "--------120813141523456"
        payload = bytes(range(256)) * 64
        body = (f"--{boundary}\r\nContent-Transfer-Encoding: binary\r\n"
                f"Content-Disposition: form-data; name=\"file\"; filename=\"/tmp/fw.bin\"\r\n"
                f"Content-Type: application/x-zip-compressed\r\n\r\n").encode() + payload + \
            f"\r\n--{boundary}--\r\n".encode()
        headers = {"Content-Type": f"multipart/form-data; boundary={boundary}"}
        for port, cgi, expected in ((8600, "/upgrade_firmware.cgi?loginuse=admin&loginpas=", 200),
                                    (82, "/upgrade_htmls.cgi?loginuse=admin&loginpas=", 302),
                                    (83, "/upgrade_firmware.cgi?user=admin&pwd=&next_url=reboot.htm", 401)):
            before = len(self.sim.log(kind="upload"))
            status, _ = self.http(port, cgi, body, headers)
            self.assertEqual(status, expected, port)
            upload = self.sim.log(kind="upload")[before]
            self.assertEqual((upload["port"], upload["target"], upload["status"], upload["complete"]),
                             (port, cgi, expected, True))
            self.assertLessEqual(upload["tStart"], upload["tEnd"])
            self.assertEqual((upload["part"]["name"], upload["part"]["filename"], upload["part"]["size"]),
                             ("file", "/tmp/fw.bin", len(payload)))
            base = os.path.join(self.sim.upload_dir, "%04d" % upload["n"])
            with open(base + ".part", "rb") as handle:
                self.assertEqual(hashlib.sha256(handle.read()).hexdigest(), hashlib.sha256(payload).hexdigest())
            with open(base + ".head", "rb") as handle:
                self.assertTrue(handle.read().startswith(f"POST {cgi} HTTP/1.1\r\n".encode()))

    def test_generated_devices_answer_quickly(self):
        sim = self.topo.start_camsim([], camera=1, generate=5000, log=False, name="load")
        try:
            per_family = 5000 // len(camsim.GENERATED_FAMILIES)
            replies = self.exchange([(10000, b"ZORIXNETQUERY,0", "broadcast")], pair=1, listen=5, count=per_family)
            self.assertEqual(len(replies), per_family)
            self.assertEqual(len({reply for _, _, reply, _ in replies}), per_family)
            print(f"\n  {per_family} ZORIXNET answers of 5000 devices in {replies[-1][3] * 1000:.0f} ms",
                  file=sys.stderr)
        finally:
            sim.stop()


def main() -> int:
    unit_only = "--unit" in sys.argv
    argv = [arg for arg in sys.argv if arg != "--unit"]
    loader = unittest.TestLoader()
    suite = unittest.TestSuite([loader.loadTestsFromTestCase(ReplyEncoders),
                                loader.loadTestsFromTestCase(CommandDecoders),
                                loader.loadTestsFromTestCase(SimulatorWithoutSockets)])
    if not unit_only:
        suite.addTests(loader.loadTestsFromTestCase(NamespaceTests))
    result = unittest.TextTestRunner(verbosity=2 if "-v" in argv else 1).run(suite)
    if not result.wasSuccessful():
        return 1
    if not unit_only and not harness.e2e_available():
        print(f"SKIPPED: namespace tests: {harness.unavailable_reason()}")
        return harness.SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
