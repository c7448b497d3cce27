#!/usr/bin/env python3
"""Makes a BIN/CUE pair from an ISO 9660 image: raw 2352-byte sectors, mode 1 or mode 2
form 1, with their sync, header, EDC and ECC as a CD drive reads them.

    bin_cue.py IMAGEN.iso SALIDA.cue [--modo 1|2] [--pista MODE1|MODE2|AUDIO] [--bin NOMBRE]
"""
import argparse
import os

EDC = []
for i in range(256):
    e = i
    for _ in range(8):
        e = (e >> 1) ^ (0xD8018001 if e & 1 else 0)
    EDC.append(e)

F = [0] * 256
B = [0] * 256
for i in range(256):
    j = ((i << 1) ^ (0x11D if i & 0x80 else 0)) & 0xFF
    F[i] = j
    B[i ^ j] = i


def edc(data):
    e = 0
    for b in data:
        e = (e >> 8) ^ EDC[(e ^ b) & 0xFF]
    return e.to_bytes(4, "little")


def ecc_part(s, majors, minors, mult, inc, at):
    size = majors * minors
    for major in range(majors):
        index = (major >> 1) * mult + (major & 1)
        a = b = 0
        for _ in range(minors):
            t = s[0xC + index]
            index += inc
            if index >= size:
                index -= size
            a ^= t
            b ^= t
            a = F[a]
        a = B[F[a] ^ b]
        s[at + major] = a
        s[at + major + majors] = a ^ b


def ecc(s):
    ecc_part(s, 86, 24, 2, 86, 0x81C)
    ecc_part(s, 52, 43, 86, 88, 0x8C8)


def bcd(n):
    return (n // 10) << 4 | (n % 10)


def sector(lsn, data, mode):
    s = bytearray(2352)
    s[0:12] = b"\x00" + b"\xff" * 10 + b"\x00"
    frames = lsn + 150
    header = bytes([bcd(frames // 4500), bcd(frames // 75 % 60), bcd(frames % 75), mode])
    if mode == 1:
        s[12:16] = header
        s[16:0x810] = data
        s[0x810:0x814] = edc(s[0:0x810])
        ecc(s)
    else:
        s[16:24] = b"\x00\x00\x08\x00" * 2  # form 1, data
        s[24:0x818] = data
        s[0x818:0x81C] = edc(s[16:0x818])
        ecc(s)  # over a zero header, as form 1 has it
        s[12:16] = header
    return bytes(s)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("iso")
    p.add_argument("cue")
    p.add_argument("--modo", type=int, choices=(1, 2), default=1)
    p.add_argument("--pista", default=None)
    p.add_argument("--bin", default=None)
    a = p.parse_args()
    bin_name = a.bin or os.path.splitext(os.path.basename(a.cue))[0] + ".bin"
    bin_path = os.path.join(os.path.dirname(os.path.abspath(a.cue)), bin_name)
    with open(a.iso, "rb") as i, open(bin_path, "wb") as o:
        lsn = 0
        while True:
            data = i.read(2048)
            if not data:
                break
            o.write(sector(lsn, data.ljust(2048, b"\0"), a.modo))
            lsn += 1
    track = a.pista or ("MODE1/2352" if a.modo == 1 else "MODE2/2352")
    with open(a.cue, "w") as c:
        c.write(f'FILE "{bin_name}" BINARY\n  TRACK 01 {track}\n    INDEX 01 00:00:00\n')


main()
