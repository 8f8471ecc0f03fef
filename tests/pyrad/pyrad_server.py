#!/usr/bin/python3
"""A RADIUS server for the interoperability tests, its packets read and
written by pyrad (Debian's python3-pyrad), so that the replies come from an
encoder other than the program's. It answers what FreeRADIUS will not send:

  acct       a correctly signed Accounting-Response (code 5) to an Access-Request
  challenge  an Access-Challenge with State and Reply-Message
  malast     an Access-Accept with the Message-Authenticator last
  vendor     an Access-Accept with two sub-attributes in one Vendor-Specific
  slowN      an Access-Accept after N seconds (no duplicate detection)
  other      an Access-Accept for the password "pw", else an Access-Reject

Status-Server is not answered. Every request received is logged as one line
"<code> <user>" to the log file, so a test can count the copies that reached
it. The port (chosen by the system on 127.0.0.1) is written to the ready
file once the server listens.

usage: pyrad_server.py SECRET DICTIONARY READY_FILE LOG_FILE
"""
import hashlib
import hmac
import os
import socket
import struct
import sys
import time

from pyrad import dictionary, packet

ACCOUNTING_RESPONSE = 5
MESSAGE_AUTHENTICATOR = 80
VENDOR_SPECIFIC = 26


def signed_bytes(reply, request_authenticator, secret, message_authenticator):
    """The reply as pyrad encodes it; with `message_authenticator`, an
    HMAC-MD5 Message-Authenticator is appended last (RFC 3579 section 3.2),
    which pyrad 2.1 does not make itself, and the Response Authenticator is
    computed over the finished packet."""
    if not message_authenticator:
        return reply.ReplyPacket()
    attributes = reply._PktEncodeAttributes() + bytes([MESSAGE_AUTHENTICATOR, 18]) + bytes(16)
    header = struct.pack('!BBH', reply.code, reply.id, 20 + len(attributes))
    mac = hmac.new(secret, header + request_authenticator + attributes, hashlib.md5).digest()
    attributes = attributes[:-16] + mac
    authenticator = hashlib.md5(header + request_authenticator + attributes + secret).digest()
    return header + authenticator + attributes


def answer(request, user, password, secret):
    reply = request.CreateReply()
    reply.code = packet.AccessAccept
    signed = True
    if user == 'acct':
        reply.code = ACCOUNTING_RESPONSE
    elif user == 'challenge':
        reply.code = packet.AccessChallenge
        reply.AddAttribute('State', b'state-0001')
        reply.AddAttribute('Reply-Message', 'Enter the code from your phone')
    elif user == 'malast':
        reply.AddAttribute('Reply-Message', 'signed last')
    elif user == 'vendor':
        signed = False
        subattributes = b''.join(bytes([1, len(text) + 2]) + text
                                 for text in (b'shell:priv-lvl=15', b'quota=10'))
        reply.AddAttribute(VENDOR_SPECIFIC, struct.pack('!L', 9) + subattributes)
    elif user.startswith('slow'):
        time.sleep(float(user[4:]))
    elif password != 'pw':
        reply.code = packet.AccessReject
    return signed_bytes(reply, request.authenticator, secret, signed)


def main():
    secret, dictionary_path, ready_path, log_path = sys.argv[1:5]
    secret = secret.encode()
    radius_dictionary = dictionary.Dictionary(dictionary_path)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(('127.0.0.1', 0))
    with open(ready_path + '.new', 'w') as ready:
        ready.write('%d\n' % sock.getsockname()[1])
    os.rename(ready_path + '.new', ready_path)
    log = open(log_path, 'a', buffering=1)
    while True:
        data, peer = sock.recvfrom(4096)
        try:
            request = packet.AuthPacket(packet=data, secret=secret, dict=radius_dictionary)
        except packet.PacketError as error:
            log.write('undecodable %s\n' % error)
            continue
        user = request['User-Name'][0] if 'User-Name' in request else ''
        log.write('%d %s\n' % (request.code, user))
        if request.code != packet.AccessRequest:
            continue
        password = ''
        if 'User-Password' in request:
            password = request.PwDecrypt(request['User-Password'][0])
        sock.sendto(answer(request, user, password, secret), peer)


if __name__ == '__main__':
    main()
