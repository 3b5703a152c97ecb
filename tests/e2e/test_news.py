"""`--headless --news` end to end: only documents and stage art that a non-revoked key of the
accepted registry signed are shown, hostile text is cleaned, and nothing the news server does
changes the check or the launch decision."""

import release_builder as rb
from release_server import Fault
from update_scenario import KEYS, UpdateScenario


ANNOUNCE = ("news 1\nitem\ntitle Yeni sezon: I\u015f\u0131kl\u0131 \u00c7ar\u015f\u0131\n"
            "date 2026-12-01\nbody \u0130yi e\u011flenceler\n").encode()
STAGE = b"\xff\xd8\xff\xe0" + bytes(range(256)) * 40


class NewsTest(UpdateScenario):
    def setUp(self):
        super().setUp()
        self.publish({"Velmor2.exe": b"MZ game"}, registry=rb.registry_text(
            [("old-1", "revoked", KEYS["old"]), ("release-1", "valid", KEYS["release"])]))
        self.serve_signed("announce.txt", ANNOUNCE)
        self.serve_signed("updates.txt", b"news 1\n" + b"item\ntitle note\n" * 40)
        self.serve_signed("stage.jpg", STAGE)

    def news(self):
        fields = self.update(command="--news")
        fields["_titles"] = [l[2:] for l in fields["_lines"] if l.startswith("  NEWS_")]
        return fields

    def news_requests(self):
        names = ("announce.txt", "updates.txt", "stage.jpg")
        return [p for _, p, _ in self.server.requests if p.split("/")[-1].removesuffix(".sig")
                in names]

    def counts(self, fields):
        return (fields["NEWS_ANNOUNCE_ITEMS"], fields["NEWS_UPDATES_ITEMS"], fields["STAGE_BYTES"])

    def test_nothing_is_fetched_before_a_release_was_accepted(self):
        fields = self.news()
        self.assertEqual((fields["_code"], self.counts(fields)), (0, ("0", "0", "0")))
        self.assertIn("news: no key registry yet :: ", self.box.log_text())
        self.assertEqual(self.news_requests(), [])

    def test_signed_items_are_shown_and_hostile_text_is_cleaned(self):
        self.update(command="--check")
        hostile = (b" \t \r\r\nnews 1\r\nitem\r\ntitle A\xe2\x80\xaeB\xe2\x80\x8bC\x01D\xc0\xafE"
                   b"\r\ndate 2026-12-02\r\nitem\r\ndate 2026-12-03\r\n")
        self.serve_signed("announce.txt", hostile + ANNOUNCE[len(b"news 1\n"):])
        fields = self.news()
        self.assertEqual(self.counts(fields), ("2", "32", str(len(STAGE))))
        self.assertEqual(fields["NEWS_UPDATES_TRUNCATED"], "1")
        self.assertNotIn("NEWS_ANNOUNCE_TRUNCATED", fields)
        self.assertEqual(fields["_titles"][:4], [
            "NEWS_ANNOUNCE_TITLE 1 ABCDE", "NEWS_ANNOUNCE_DATE 1 2026-12-02",
            "NEWS_ANNOUNCE_TITLE 2 Yeni sezon: I\u015f\u0131kl\u0131 \u00c7ar\u015f\u0131",
            "NEWS_ANNOUNCE_DATE 2 2026-12-01"])
        self.assertEqual(fields["_titles"][4:6],
                         ["NEWS_UPDATES_TITLE 1 note", "NEWS_UPDATES_TITLE 2 note"])

    def test_what_is_not_signed_by_a_valid_key_or_too_big_is_not_shown(self):
        self.update(command="--check")
        url = self.server.url("/live/announce.txt")
        stage_url = self.server.url("/live/stage.jpg")
        cases = [
            (lambda: self.serve_signed("announce.txt", ANNOUNCE, signer="old"),
             f"news: no non-revoked key verifies :: {url}", ("0", "32", str(len(STAGE)))),
            (lambda: (self.live / "announce.txt.sig").unlink(),
             f"news: no signature, feed not shown :: {url}.sig", ("0", "32", str(len(STAGE)))),
            (lambda: self.serve_signed("announce.txt", ANNOUNCE + b"x" * (16385 - len(ANNOUNCE))),
             f"news: fetch failed :: {url}", ("0", "32", str(len(STAGE)))),
            (lambda: self.serve_signed("stage.jpg", STAGE + b"x" * (2097153 - len(STAGE))),
             f"stage: none published (or fetch failed) :: {stage_url}", ("1", "32", "0")),
            (lambda: self.server.set_fault("/live/stage.jpg", Fault.status_code(404)),
             f"stage: none published (or fetch failed) :: {stage_url}", ("1", "32", "0")),
        ]
        for spoil, line, counts in cases:
            with self.subTest(line):
                self.serve_signed("announce.txt", ANNOUNCE)
                self.serve_signed("stage.jpg", STAGE)
                self.server.set_fault("/live/stage.jpg", None)
                spoil()
                logged = len(self.box.log_text())
                self.assertEqual(self.counts(self.news()), counts)
                self.assertIn(line + "\r\n", self.box.log_text()[logged:])

    def test_the_check_and_the_launch_decision_never_depend_on_news(self):
        # The second run has the registry the first accepted, yet asks the news server nothing,
        # so no answer of it can reach the decision.
        first = self.update(command="--launch-decision")
        self.assertEqual((first["CODE"], first["LAUNCH"]), ("0", "ALLOWED"))
        self.assertEqual(self.update(command="--launch-decision"), first)
        self.assertEqual(self.news_requests(), [])
