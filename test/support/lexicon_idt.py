#!/usr/bin/env python3
"""Writes a table of <rows> words in msitools' import format (.idt): enough
distinct strings to take a package's string pool past 65,535 entries, where
tables refer to strings in three bytes. With a language tag, every gloss is
that language's (a transform to it changes them all, and so needs as many
strings of its own), and the table has a word of its own.

usage: lexicon_idt.py <rows> <language tag or -> <output.idt>
"""
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip())
    rows, tag, output = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    with open(output, "w", newline="") as idt:
        idt.write("Word\tGloss\r\ns32\tS0\r\nLexicon\tWord\r\n")
        for i in range(rows):
            gloss = f"gloss number {i}"
            if tag != "-":
                gloss = f"{tag} gloss number {i}"
            idt.write(f"word{i:06d}\t{gloss}\r\n")
        if tag != "-":
            idt.write(f"only-{tag}\tnew in {tag}\r\n")


if __name__ == "__main__":
    main()
