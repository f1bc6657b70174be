#!/usr/bin/env python3
"""Writes the hand-made seeds of the structured targets (ftp_logon, smtp_reply) into
fuzz/corpus/. Run from the repository root after changing how a target reads its input."""
import os

# Inputs in FuzzedDataProvider's layout: strings from the front, numbers from the back.
class Fdp:
    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()   # in consumption order
    def rint(self, lo, hi, v):
        r = hi - lo
        assert lo <= v <= hi
        n = 0
        while r >> (8 * n):
            n += 1
        off = v - lo
        for i in range(n):
            # bytes are consumed from the end, most significant first: result = (result << 8) | byte
            self.back.append((off >> (8 * (n - 1 - i))) & 0xff)
        return self
    def u8(self, v):
        self.back.append(v & 0xff); return self
    def boolean(self, b):
        return self.u8(1 if b else 0)
    def string(self, s, limit=None):
        # A string as long as the target's limit is cut there and leaves its terminator
        # behind for the next one: keep seeds' strings shorter than the limit.
        if isinstance(s, str): s = s.encode('latin-1')
        assert limit is None or len(s) < limit
        self.front += s.replace(b'\\', b'\\\\') + b'\\ '
        return self
    def rest(self, s):
        if isinstance(s, str): s = s.encode('latin-1')
        self.front += s
        return self
    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


WORDS=["AUTH LOGIN PLAIN","AUTH=LOGIN","AUTH PLAIN","AUTH CRAM-MD5 LOGIN","auth plain login","8BITMIME","AUTH","SIZE 10240000","PLAIN LOGIN AUTH","Y2hhbGxlbmdl","AUTH XOAUTH2","AUTH  LOGIN","ok","AUTH CRAM-MD5"]
FIRST="22223345"
def reply(f, first, code2, lines):
    f.rint(0,8,FIRST.index(first)).rint(10,59,code2).rint(1,4,len(lines))
    for l in lines:
        if l in WORDS:
            f.boolean(True).rint(0,13,WORDS.index(l))
        else:
            f.boolean(False).boolean(len(l) <= 40).string(l)
        f.boolean(True)
def smtp_seed(name, flags, user, pw, replies):
    f=Fdp(); f.u8(flags).string(user).string(pw).rint(0,7,len(replies))
    for r in replies: reply(f,*r)
    open(f'fuzz/corpus/smtp_reply/hand-{name}','wb').write(f.bytes())
smtp_seed('login-dialogue',1,'user','secret',[('2',20,['mail.example.test ESMTP']),('2',50,['mail.example.test','AUTH LOGIN PLAIN','8BITMIME']),('3',34,['VXNlcm5hbWU6']),('3',34,['UGFzc3dvcmQ6']),('2',35,['ok']),('2',21,['bye'])])
smtp_seed('cram-md5',1,'tim','tanstaaftanstaaf',[('2',20,['ready']),('2',50,['x','AUTH CRAM-MD5']),('3',34,['PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+']),('2',35,['fine'])])
smtp_seed('plain-then-refused',1,'a','b',[('2',20,['hi']),('2',50,['auth plain login']),('5',35,['authentication failed'])])
smtp_seed('reply-past-limit',0,'u','p',[('2',20,['A'*600,'B'*420]),('2',50,['ok'])])
smtp_seed('helo-4xx',0,'u','p',[('4',21,['busy','try later']),('2',50,['ok']),('2',21,['bye'])])

CL="1234562"
def logon_seed(name, typ, params, port, replies):
    f=Fdp(); f.rint(-1,9,typ)
    for p in params: f.string(p)
    f.rint(0,65535,port).rint(0,8,len(replies))
    for (first, digit, texts) in replies:
        f.rint(0,7,CL.index(first)).u8(digit)
        if len(texts)==1:
            f.rint(-1,3,-1).string(texts[0])
        else:
            f.rint(-1,3,len(texts)-2)
            for i,t in enumerate(texts):
                f.string(t)
                if 0 < i < len(texts)-1: f.boolean(True)
    open(f'fuzz/corpus/ftp_logon/hand-{name}','wb').write(f.bytes())
P=['anonymous','guest@','acct','fwuser','fwpass','ftp.example.org']
logon_seed('direct-user-pass',0,P,21,[('2',0,['Service ready']),('3',1,['Password required']),('2',0,['Logged on'])])
logon_seed('site-firewall',1,P,2121,[('2',0,['Firewall ready','welcome']),('3',1,['fw password']),('2',0,['fw ok']),('3',1,['SITE ok, user?']),('3',1,['password']),('3',2,['account']),('2',0,['in'])])
logon_seed('user-at-host-refused',7,P,21,[('2',0,['hi']),('2',0,['odd: 2xx ends in failure'])])
logon_seed('injection',5,['bad\r\nDELE x','p','a','f','fp','h'],21,[('2',0,['hi']),('2',0,['x'])])
logon_seed('greeting-5xx',3,P,21,[('5',0,['go away','really'])])
logon_seed('runs-out',2,P,990,[('2',0,['hi']),('3',1,['pw'])])
