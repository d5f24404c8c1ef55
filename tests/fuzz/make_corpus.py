#!/usr/bin/env python3
"""The fuzz target's seeds, each written from what it is meant to reach.

    make_corpus.py                 writes tests/fuzz/corpus anew
    make_corpus.py --check TARGET  runs TARGET (build/fuzz/fuzz_join) on each
                                   seed and fails unless it reaches what its
                                   name says

The input's layout is the one fuzz_join.cpp describes at its top.
"""
import os
import re
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.join(HERE, '..', '..', 'src')

RESEAL, COPY, DELETE, SPLIT_ROOM, ROOM_LIES, FORCE, BY_RECOVERY, WINDOWS, EARLIER_SET = (
    1, 2, 4, 8, 16, 32, 64, 128, 256)
FLIP, CUT, GROW, REMOVE, KIND, OUTPUT_IS_PART, OTHER_FILE, TRAILER_WORD = range(8)


def seed(flags=0, room=0, image=100, kb=20, size=50000, folder=0, stem=3, stop=0, recovery=0,
         edits=()):
    """kb 20 makes parts of 10 KB; stem is one less than the name's length."""
    out = struct.pack('<HBIHQBBBB', flags, room, image, kb, size, folder, stem, stop, recovery)
    for op, index, value, x in edits:  # index: the part, recovery parts first
        out += struct.pack('<BBHB', op, index, value, x)
    return out


def trailer_word(offset, value, index=0):
    """An edit that writes 16 bits at that offset of the part's last 272 bytes."""
    return (TRAILER_WORD, index, value, offset // 2)


INT64_MAX = 2**63 - 1

# name: (input, what the run must reach, by the names in the headers)
SEEDS = {
    'plain': (seed(), {'split': 'kSplitDone', 'set': 'kSetReady', 'join': 'kJoinDone'}),
    'copy-and-delete': (seed(flags=COPY | DELETE, image=24576, kb=21, size=150000, folder=30, stem=0),
                        {'join': 'kJoinDone', 'copy': 'kProgramCopyMade', 'deletion': 'kDeletionDone'}),
    # Room for all but the trailer, which the drive said it had.
    'full-at-the-trailer': (seed(flags=SPLIT_ROOM | ROOM_LIES, room=25, size=50696),
                            {'split': 'kSplitFileFailed', 'split_step': 'kSplitWritingPart',
                             'refused': 272}),
    'full-disk': (seed(flags=COPY, room=20), {'split': 'kSplitDone', 'join': 'kJoinNoRoom'}),
    'full-disk-while-splitting': (seed(flags=SPLIT_ROOM, room=20), {'split': 'kSplitNoRoom'}),
    'name-too-long-for-a-record': (seed(flags=COPY, image=5000, size=40000, stem=230),
                                   {'name_in_extension': 1, 'join': 'kJoinDone'}),
    'output-is-a-slice': (seed(flags=FORCE, edits=[(OUTPUT_IS_PART, 2, 0, 0)]),
                          {'join': 'kJoinWouldReplacePart'}),
    # The plan at the largest size, and a record resealed to claim it.
    'size-near-2-63': (seed(flags=RESEAL, image=20000, size=INT64_MAX, edits=[
        trailer_word(232, 0xffff), trailer_word(234, 0xffff), trailer_word(236, 0xffff),
        trailer_word(238, 0x7fff), trailer_word(264, 0xffff), trailer_word(266, 0x7fff)]),
        {'plan': INT64_MAX, 'edits': 6, 'set': 'kSetHeadDamaged'}),
    'trailer-edited-and-resealed': (seed(flags=RESEAL, edits=[trailer_word(268, 0x86a0),
                                                              (FLIP, 2, 5, 7)]),
                                    {'edits': 2, 'set': 'kSetHeadDamaged'}),
    'recovery-part-and-slice-lost': (seed(recovery=2, edits=[(REMOVE, 4, 0, 0), (REMOVE, 0, 0, 0)]),
                                     {'join': 'kJoinDone', 'faults': 1, 'edits': 2}),
    # Windows refuses to move aside a file held open: the earlier head part.
    'windows-replaces-an-earlier-set': (seed(flags=WINDOWS | EARLIER_SET, recovery=1),
                                        {'windows': 1, 'earlier': 'kSplitDone', 'split': 'kSplitDone',
                                         'join': 'kJoinDone'}),
    'windows-copy-and-delete': (seed(flags=WINDOWS | COPY | DELETE),
                                {'windows': 1, 'join': 'kJoinDone', 'copy': 'kProgramCopyMade',
                                 'deletion': 'kDeletionDone'}),
}


def enum_values():
    """Every enumerator of the engines' status enums, by name."""
    values = {}
    for header in ('split/split_engine.h', 'join/join_engine.h', 'join/part_set.h'):
        text = open(os.path.join(SRC, header)).read()
        for body in re.findall(r'enum \w+ \{(.*?)\};', text, re.S):
            body = re.sub(r'//[^\n]*', '', body)
            for i, name in enumerate(n.strip() for n in body.split(',') if n.strip()):
                values[name] = i
    return values


def check(target):
    values = enum_values()
    corpus = os.path.join(HERE, 'corpus')
    failed = 0
    for name, (data, wants) in sorted(SEEDS.items()):
        run = subprocess.run([target, os.path.join(corpus, name)], capture_output=True, text=True,
                             env=dict(os.environ, QCLEAVER_FUZZ_TELL='1'))
        told = dict(re.findall(r'(\w+)=(-?\d+)', run.stdout))
        for key, want in wants.items():
            want = values[want] if isinstance(want, str) else want
            if run.returncode != 0 or int(told.get(key, -99)) != want:
                print(f'{name}: {key} is {told.get(key)}, not {want} (exit {run.returncode})\n{run.stdout}')
                failed += 1
    print(f'{sum(len(w) for _, w in SEEDS.values()) - failed} passed, {failed} failed')
    return 1 if failed else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == '--check':
        return check(sys.argv[2])
    corpus = os.path.join(HERE, 'corpus')
    for old in os.listdir(corpus):
        os.remove(os.path.join(corpus, old))
    for name, (data, _) in SEEDS.items():
        with open(os.path.join(corpus, name), 'wb') as f:
            f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
