"""`--headless --update` of a large file through its chunk index: with the previous release's
copy installed, the patcher fetches `<file>.chunks` and only the chunks it lacks, in ranges.
Whatever the index or the server does wrong, the run ends with the release's verified bytes, and an
index can only cost bandwidth: the server's byte counts prove how much was sent. Kept apart from
test_update so that both run side by side."""
import hashlib
import random
import re

import chunk_index as ci
import release_builder as rb
from release_server import Fault
from update_scenario import UpdateScenario, leftovers


KIB = 1 << 10
MIB = 1 << 20
BIG = "maps/big.pak"
URL = f"/live/files/{BIG}"
INDEX_URL = URL + ci.SUFFIX
# Not periodic and not a whole number of MiB: a chunk put at the wrong offset changes the hash.
OLD = random.Random("chunked-old").randbytes(2 * MIB + 654321)


def overwrite_blocks(data, offsets, size=4 * KIB):
    """`data` with `size` fresh random bytes at each of `offsets`."""
    out = bytearray(data)
    fresh = random.Random("chunked-new")
    for at in offsets:
        out[at:at + size] = fresh.randbytes(size)
    return bytes(out)


# Five scattered 4 KiB blocks change; everything else is the old release's, byte for byte.
NEW = overwrite_blocks(OLD, [100 * KIB, 700 * KIB, 1300 * KIB + 17, 1900 * KIB, 2500 * KIB + 5])
NEW_FILES = {BIG: NEW}


def crafted(change):
    """NEW's honest index, parsed, handed to `change` and serialised again."""
    index = ci.index_of(NEW)
    change(index)
    return ci.serialize(index)


def changed_groups(index):
    """The groups of NEW's index that the old copy does not hold (by tag and length)."""
    old = {(g.tag, g.length) for g in ci.index_of(OLD).groups}
    return [g for g in index.groups if (g.tag, g.length) not in old]


def lengths_off_by_one(index):
    # Every chunk of the changed groups one byte longer: they no longer add up to their group.
    for group in changed_groups(index):
        for chunk in index.chunks_of(group):
            chunk.length += 1


def lengths_shifted(index):
    # The chunks still add up to their group, but cut in the wrong places: they match nothing.
    for group in changed_groups(index):
        if group.chunk_count >= 2:
            index.chunks[group.first_chunk].length += 300
            index.chunks[group.first_chunk + 1].length -= 300


def huge(counts_plausible):
    """A header claiming as many groups and chunks as it can, padded with zeros to 100 MiB."""
    index = ci.index_of(NEW)
    if counts_plausible:
        # As many chunks as a file of this size can have, each its own group: the header
        # passes, the group table (zeros) does not.
        index.header.chunk_count = index.header.group_count = len(NEW) // ci.CHUNK_MIN + 1
    else:
        index.header.chunk_count = index.header.group_count = 0xFFFFFFFF
    head = ci.serialize(ci.Index(index.header))
    return head + bytes(100 * MIB - len(head))


def flipped(tag):
    return bytes([tag[0] ^ 1]) + tag[1:]


def alternating(index):
    """The real first group, then groups the old copy seems to lack, whose chunks alternate
    between ones it has and ones that match nothing: planned as they are, every other chunk would
    be a range request of its own."""
    for group in index.groups[1:]:
        group.tag = flipped(group.tag)
    for chunk in index.chunks[index.groups[0].chunk_count::2]:
        chunk.tag = flipped(chunk.tag)


def old_copy_then_a_range():
    """The old copy's index under the new file's name, its last group made to look new: the old
    copy's bytes, wrong where the five blocks changed, fill all but that group's range."""
    index = ci.index_of(OLD)
    index.header.file_sha256 = hashlib.sha256(NEW).digest()
    last = index.groups[-1]
    last.tag = flipped(last.tag)
    for chunk in index.chunks_of(last):
        chunk.tag = flipped(chunk.tag)
    return ci.serialize(index)


class ChunkedUpdateTest(UpdateScenario):
    def setUp(self):
        super().setUp()
        self.publish(NEW_FILES)
        self.files = self.live / "files"

    def fresh(self, index="honest", fault=None, index_fault=None):
        """Release 1's copy installed, release 2 published with `index` as its chunk index
        ("honest", None for none, or crafted bytes)."""
        self.reinstall({BIG: OLD})
        rb.write_chunk_indexes(self.files, NEW_FILES, None if index == "honest" else {BIG: index})
        self.server.set_fault(URL, fault)
        self.server.set_fault(INDEX_URL, index_fault)
        self.server.forget()

    def sent(self):
        return self.server.bytes_sent(URL) + self.server.bytes_sent(INDEX_URL)

    def test_a_few_changed_blocks_cost_a_few_chunks(self):
        self.fresh()
        fields = self.update()
        self.assertUpdated(fields, NEW_FILES)
        self.assertLess(self.sent(), len(NEW) // 4)
        reused = int(fields["DOWNLOAD_BYTES_REUSED"])
        self.assertGreater(reused, len(NEW) // 2)
        # Everything the server sent is what the patcher counts as fetched, index included.
        self.assertEqual(int(fields["DOWNLOAD_BYTES_FETCHED"]), self.sent())
        # Whole-file fetches use no Range or `bytes=N-`: here every request is a closed range.
        ranges = self.server.ranges_for(URL)
        self.assertTrue(ranges)
        self.assertTrue(all(re.fullmatch(r"bytes=\d+-\d+", r or "") for r in ranges), ranges)
        self.assertEqual(self.server.bytes_sent(URL), len(NEW) - reused)
        log = self.box.log_text()
        self.assertIn(f"download: {BIG}: {reused} bytes from the old copy, "
                      f"{len(NEW) - reused} bytes in ranges", log)
        self.assertIn(f"download: {BIG}: fetched {fields['DOWNLOAD_BYTES_FETCHED']} bytes, "
                      f"reused {reused} from the old copy", log)

    def run_logged(self):
        """An update's report and the support log lines it added."""
        before = len(self.box.log_text())
        fields = self.update()
        return fields, self.box.log_text()[before:]

    def test_a_bad_index_costs_only_bandwidth(self):
        half = ci.build_index(NEW)
        whole = "; the rest is fetched whole"
        unfetchable = "the chunk index could not be fetched: "
        refused = "the chunk index is refused: "
        # Each way of refusing an index is core/chunk_index's test; here one case of each kind of
        # answer shows that the refusal costs no more than the index and the whole file (a header
        # that does not describe the file stands for them all: it is read no further).
        # name, the index served, the most bytes the server may send for the index path, what
        # the support log says
        cases = [
            ("no index", None, 1 * KIB, unfetchable),
            ("truncated", half[:len(half) // 2], len(half), unfetchable),
            ("chunk lengths that do not add up to their group", crafted(lengths_off_by_one),
             len(half), "do not add up to its"),
            # Consistent but cut in the wrong places: those chunks match nothing old and are
            # fetched in ranges, which makes the right file.
            ("chunk lengths cut in the wrong places", crafted(lengths_shifted), len(half),
             "bytes in ranges"),
            ("huge counts in 100 MiB", huge(counts_plausible=False), 1 * KIB,
             f"which a file of {len(NEW)} bytes cannot have"),
            ("plausible counts in 100 MiB of zeros", huge(counts_plausible=True), 64 * KIB,
             refused + "group 0 has 0 chunks"),
        ]
        for name, index, most, said in cases:
            with self.subTest(name):
                self.fresh(index)
                fields, log = self.run_logged()
                self.assertUpdated(fields, NEW_FILES)
                self.assertIn(said, log)
                if said != "bytes in ranges":
                    self.assertIn(whole, log)
                    self.assertEqual(fields["DOWNLOAD_BYTES_REUSED"], "0")
                self.assertLessEqual(self.server.bytes_sent(INDEX_URL), most)
                # At worst the ranges fetched before the index was found out, then the whole file.
                self.assertLessEqual(self.server.bytes_sent(URL), len(NEW) + len(NEW) // 4)

    def test_an_index_that_would_cost_a_request_per_chunk_means_a_whole_fetch(self):
        self.fresh(crafted(alternating))
        fields, log = self.run_logged()
        self.assertUpdated(fields, NEW_FILES)
        self.assertIn("too few for the requests they take; the rest is fetched whole", log)
        self.assertEqual(self.server.ranges_for(URL), [None])

    def test_bytes_an_interrupted_run_built_from_the_old_copy_are_fetched_whole_if_wrong(self):
        # Run 1 writes the old copy's bytes, then every ranged request is cut.
        self.fresh(old_copy_then_a_range(), fault=Fault.cut(NEW, keep=256, times=None))
        self.assertNotEqual(self.update()["DOWNLOAD_CODE"], "0")
        self.assertTrue(leftovers(self.game), "run 1 kept no partial file")
        # Run 2 has no index: it appends the rest, finds the file wrong and fetches it whole.
        rb.write_chunk_indexes(self.files, NEW_FILES, {BIG: None})
        self.server.set_fault(URL, None)
        fields, log = self.run_logged()
        self.assertUpdated(fields, NEW_FILES)
        self.assertIn(f"sha256 mismatch after download: {BIG}; the file is fetched whole", log)

    def test_a_server_that_answers_ranges_with_the_whole_file(self):
        honest = ci.build_index(NEW)
        cases = [
            ("for the file", Fault.ignoring_range(NEW), None),
            ("for the index", None, Fault.ignoring_range(honest)),
        ]
        for name, fault, index_fault in cases:
            with self.subTest(name):
                self.fresh(fault=fault, index_fault=index_fault)
                fields, log = self.run_logged()
                self.assertUpdated(fields, NEW_FILES)
                self.assertIn("with exactly that range; the rest is fetched whole", log)
                # The patcher reads no more than the index and the file; what a server pushes
                # into the socket after an answer is refused is not counted here.
                self.assertLessEqual(int(fields["DOWNLOAD_BYTES_FETCHED"]),
                                     len(NEW) + len(honest) + 64 * KIB)

    def test_an_interrupted_ranged_update_resumes_on_the_next_run(self):
        # Every ranged request of run 1 is cut after 256 bytes: three attempts (768 bytes) never
        # finish a range, since no chunk but a file's last is shorter than 1 KiB.
        self.fresh(fault=Fault.cut(NEW, keep=256, times=None))
        self.assertNotEqual(self.update()["DOWNLOAD_CODE"], "0")
        self.assertEqual((self.game / BIG).read_bytes(), OLD)
        self.assertTrue(leftovers(self.game), "run 1 kept no partial file")
        run_one = self.sent()
        self.server.set_fault(URL, None)
        second = self.update()
        self.assertUpdated(second, NEW_FILES)
        # Run 2 carries on in ranges: no whole fetch, and the two runs together fetch far less
        # than the file.
        self.assertTrue(all(re.fullmatch(r"bytes=\d+-\d+", r or "")
                            for r in self.server.ranges_for(URL)), self.server.ranges_for(URL))
        self.assertLess(self.sent(), len(NEW) // 4)
        self.assertGreater(self.sent(), run_one)
        self.assertGreater(int(second["DOWNLOAD_BYTES_REUSED"]), 0)
