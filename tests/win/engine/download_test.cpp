// The download pool and the resume of one file, with bodies from a stand-in server.
#include "win/engine/download_pool.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "core/chunk_index.h"
#include "core/sha256.h"
#include "rules/resume_rules.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

// What the stand-in does with one request for a URL; once a URL's script is used up it serves.
struct Answer {
    enum Kind { Serve, CutAfter, Status, WrongRange, Throw } kind = Serve;
    std::uint64_t number = 0;  // CutAfter: bytes sent; Status: the status
    bool held = false;         // answers only once the test releases the URL
};

class StandInServer {
  public:
    void Publish(const std::string& url, std::string body) { bodies_[url] = std::move(body); }
    void Script(const std::string& url, std::deque<Answer> answers) { script_[url] = answers; }

    HttpResponse operator()(const BodyRequest& request, const HttpAccept& accept,
                            const HttpSink& sink, const HttpProgress& progress) {
        const std::string url = WideToUtf8(request.url);
        Answer answer;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            ranges_[url].push_back(WideToUtf8(request.headers));
            released_.notify_all();
            if (!script_[url].empty()) {
                answer = script_[url].front();
                script_[url].pop_front();
            }
        }
        if (answer.held) {
            std::unique_lock<std::mutex> hold(lock_);
            released_.wait(hold, [&] { return released_urls_.count(url) != 0; });
        }
        HttpResponse response =
            Answer_(answer, bodies_.at(url), request.headers, accept, sink, progress);
        const std::lock_guard<std::mutex> hold(lock_);
        answered_.insert(url);
        released_.notify_all();
        return response;
    }

    std::vector<std::string> RangesAskedFor(const std::string& url) {
        const std::lock_guard<std::mutex> hold(lock_);
        const auto asked = ranges_.find(url);
        return asked == ranges_.end() ? std::vector<std::string>() : asked->second;
    }

    void Release(const std::string& url) {
        const std::lock_guard<std::mutex> hold(lock_);
        released_urls_.insert(url);
        released_.notify_all();
    }

    // Waits until every URL has been asked for (answered: and its answer handed back).
    void AwaitRequests(const std::vector<std::string>& urls, bool answered = false) {
        std::unique_lock<std::mutex> hold(lock_);
        released_.wait(hold, [&] {
            for (const std::string& url : urls) {
                if ((answered ? answered_.count(url) : ranges_.count(url)) == 0) return false;
            }
            return true;
        });
    }

  private:
    HttpResponse Answer_(const Answer& answer, const std::string& body, const std::wstring& range,
                         const HttpAccept& accept, const HttpSink& sink,
                         const HttpProgress& progress) {
        HttpResponse response;
        response.error = HttpError::Ok;
        if (answer.kind == Answer::Throw) throw std::runtime_error("stand-in refused to work");
        if (answer.kind == Answer::Status) {
            response.status = static_cast<std::uint32_t>(answer.number);
            response.error = HttpError::HttpStatus;
            return response;
        }
        // "Range: bytes=A-" or "Range: bytes=A-B"
        const std::string asked = range.empty() ? "0-" : WideToUtf8(range.substr(13));
        const std::uint64_t offset = std::stoull(asked);
        const std::string last = asked.substr(asked.find('-') + 1);
        std::uint64_t end = last.empty() ? body.size() : std::stoull(last) + 1;
        HttpBodyStart start{range.empty() ? 200u : 206u, end - offset, L""};
        if (!range.empty() || answer.kind == Answer::WrongRange) {
            start.status = 206;
            const std::uint64_t first = answer.kind == Answer::WrongRange ? 0 : offset;
            start.content_range = L"bytes " + std::to_wstring(first) + L"-" +
                                  std::to_wstring(end - 1) + L"/" + std::to_wstring(body.size());
        }
        response.status = start.status;
        if (!accept(start)) {
            response.error = HttpError::HeadRefused;
            return response;
        }
        if (answer.kind == Answer::CutAfter) end = std::min(end, offset + answer.number);
        for (std::uint64_t at = offset; at < end; at += 4096) {
            const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(4096, end - at));
            if (!sink(body.data() + at, length)) {
                response.error = HttpError::SinkFailure;
                return response;
            }
            response.bytes_received += length;
            progress(response.bytes_received, body.size() - offset);
        }
        if (answer.kind == Answer::CutAfter && end < body.size()) {
            response.error = HttpError::Truncated;
        }
        return response;
    }

    std::map<std::string, std::string> bodies_;
    std::mutex lock_;
    std::condition_variable released_;
    std::set<std::string> released_urls_;
    std::set<std::string> answered_;
    std::map<std::string, std::deque<Answer>> script_;
    std::map<std::string, std::vector<std::string>> ranges_;
};

std::string Bytes(std::size_t size, char seed) {
    std::string bytes(size, 0);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    return bytes;
}

// A download of its own: a scratch install folder, a stand-in server and the run's outcome.
struct Rig {
    Rig() : scratch_(L"download") { config_.install_directory = scratch_.path(); }

    DiffItem& Add(const std::string& path, const std::string& body) {
        const std::string url = "https://stand-in/" + path;
        server_.Publish(url, body);
        outcome_.diff.push_back(
            DiffItem{path, url, body.size(), Sha256Hex(body), DiffReason::Missing, {}, 0});
        outcome_.download_bytes += body.size();
        return outcome_.diff.back();
    }

    std::wstring Destination(const DiffItem& item) const {
        return scratch_.Join(Utf8ToWide(item.path));
    }
    std::wstring Partial(const DiffItem& item) const {
        return PartialPathOf(Destination(item), item.sha256);
    }

    DownloadCode Download(DownloadCancelQuery cancel = {}) {
        const BodySource source = std::ref(server_);
        return RunDownloadFrom(
            source, config_, outcome_,
            [this](const DownloadProgress& progress) { last_ = progress; }, cancel, error_);
    }

    testing::ScratchDirectory scratch_;
    PatcherConfig config_;
    CheckOutcome outcome_;
    StandInServer server_;
    DownloadProgress last_;
    std::string error_;
};

class DownloadTest : public ::testing::Test, public Rig {};

TEST_F(DownloadTest, AFileCarriesOnFromWhatAnEarlierAttemptLeft) {
    const std::string body = Bytes(100000, 'a');
    const std::string url = "https://stand-in/maps/big.pak";
    const struct {
        const char* name;
        std::deque<Answer> script;
        std::string planted;  // in the partial file before the run
        DownloadCode result;
        std::vector<std::string> ranges;
        bool installed;
        std::uint64_t partial_left;  // bytes in the partial afterwards (0: none)
    } cases[] = {
        {"the rest",
         {},
         body.substr(0, 40000),
         DownloadCode::Committed,
         {"Range: bytes=40000-"},
         true,
         0},
        {"wrong range",
         {{Answer::WrongRange}},
         body.substr(0, 40000),
         DownloadCode::Failed,
         {"Range: bytes=40000-"},
         false,
         40000},
        {"cut, then the rest",
         {{Answer::CutAfter, 10000}},
         body.substr(0, 40000),
         DownloadCode::Committed,
         {"Range: bytes=40000-", "Range: bytes=50000-"},
         true,
         0},
        {"longer than the file", {}, body + "x", DownloadCode::Committed, {""}, true, 0},
        {"already whole", {}, body, DownloadCode::Committed, {}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig fresh;
        DiffItem& item = fresh.Add("maps/big.pak", body);
        fresh.server_.Script(url, c.script);
        if (!c.planted.empty()) {
            ::CreateDirectoryW(fresh.scratch_.Join(L"maps").c_str(), nullptr);
            ASSERT_TRUE(testing::WriteWholeFile(fresh.Partial(item), c.planted));
        }
        EXPECT_EQ(fresh.Download(), c.result) << fresh.error_;
        EXPECT_EQ(fresh.server_.RangesAskedFor(url), c.ranges);
        EXPECT_EQ(testing::ReadWholeFile(fresh.Destination(item)),
                  c.installed ? body : "<missing>");
        const std::string left = testing::ReadWholeFile(fresh.Partial(item));
        EXPECT_EQ(left == "<missing>" ? 0 : left.size(), c.partial_left);
        if (c.result == DownloadCode::Committed) {
            EXPECT_EQ(fresh.last_.bytes_done, body.size());
        }
    }
}

// The bar measures what is fetched: bytes the old copy gives are taken off its total, and put
// back when the assembled file does not verify and is fetched whole after all.
TEST_F(DownloadTest, AChunkedUpdateCountsWhatItFetchesAndWhatItReuses) {
    std::string old_copy(2 << 20, '\0');
    std::mt19937 random(3);
    for (char& byte : old_copy) byte = static_cast<char>(random());
    std::string fresh_copy = old_copy;
    fresh_copy.replace(1 << 20, 4096, Bytes(4096, 'n'));
    ChunkIndexBuilder builder;
    builder.Feed(fresh_copy.data(), fresh_copy.size());
    const std::string honest = builder.Finish();
    // The old copy's groups under the new file's header: every group seems to be on disk already.
    ChunkIndexBuilder misleading_builder;
    misleading_builder.Feed(old_copy.data(), old_copy.size());
    std::string misleading = misleading_builder.Finish();
    misleading.replace(16, 32, honest.substr(16, 32));

    for (const bool misled : {false, true}) {
        SCOPED_TRACE(misled ? "misleading index" : "honest index");
        Rig rig;
        const DiffItem& item = rig.Add("data/world.pak", fresh_copy);
        rig.server_.Publish(item.url + kChunkIndexSuffix, misled ? misleading : honest);
        ::CreateDirectoryW(rig.scratch_.Join(L"data").c_str(), nullptr);
        ASSERT_TRUE(testing::WriteWholeFile(rig.Destination(item), old_copy));
        EXPECT_EQ(rig.Download(), DownloadCode::Committed) << rig.error_;
        EXPECT_TRUE(testing::ReadWholeFile(rig.Destination(item)) == fresh_copy);
        EXPECT_EQ(rig.last_.bytes_done, rig.last_.bytes_total);
        if (misled) {
            EXPECT_EQ(rig.last_.bytes_reused, 0u);
            EXPECT_GT(rig.last_.bytes_fetched, fresh_copy.size());
        } else {
            EXPECT_GT(rig.last_.bytes_reused, fresh_copy.size() - 65536);
            EXPECT_LT(rig.last_.bytes_fetched, 100000u);
            EXPECT_EQ(rig.last_.bytes_total + rig.last_.bytes_reused, fresh_copy.size());
        }
    }
}

// Only names no manifest path can take are swept: a game file ending in ".g2part" stays.
TEST_F(DownloadTest, PartialsOfOtherReleasesGoAndGameFilesStay) {
    const DiffItem& item = Add("data/x.bin", Bytes(3000, 'x'));
    ::CreateDirectoryW(scratch_.Join(L"data").c_str(), nullptr);
    const std::wstring older = PartialPathOf(Destination(item), std::string(64, 'e'));
    const std::wstring game_file = scratch_.Join(L"data\\keep.g2part");
    for (const std::wstring& path : {older, game_file}) {
        ASSERT_TRUE(testing::WriteWholeFile(path, "stale"));
    }
    EXPECT_EQ(Download(), DownloadCode::Committed) << error_;
    EXPECT_FALSE(testing::FileExists(older));
    EXPECT_TRUE(testing::FileExists(game_file));
}

// Both orders in time: the failure earliest in the list wins whichever came first.
TEST_F(DownloadTest, TheEarliestFailureInTheListIsTheOneReported) {
    for (const bool earliest_first : {true, false}) {
        SCOPED_TRACE(earliest_first ? "f1 fails first" : "f4 fails first");
        Rig rig;
        for (int i = 0; i < 6; ++i) rig.Add("f" + std::to_string(i), Bytes(1000, 'a' + i));
        const std::string first = rig.outcome_.diff[earliest_first ? 1 : 4].url;
        const std::string second = rig.outcome_.diff[earliest_first ? 4 : 1].url;
        rig.server_.Script(first, {{Answer::Status, 404, true}});
        rig.server_.Script(second, {{Answer::Status, 404, true}});
        rig.config_.download_workers = 6;
        std::thread order([&] {
            rig.server_.AwaitRequests({first, second});
            rig.server_.Release(first);
            rig.server_.AwaitRequests({first}, true);
            // The first failure is recorded within microseconds of its answer; this is margin.
            ::Sleep(300);
            rig.server_.Release(second);
        });
        EXPECT_EQ(rig.Download(), DownloadCode::Failed);
        order.join();
        EXPECT_EQ(rig.error_, "download failed for f1: HTTP_STATUS (status 404, os 0)");
    }
}

TEST_F(DownloadTest, AFailureStopsTheOtherWorkersClaiming) {
    for (int i = 0; i < 60; ++i) Add("f" + std::to_string(i), Bytes(300000, static_cast<char>(i)));
    server_.Script(outcome_.diff[0].url, {{Answer::Status, 404}});
    config_.download_workers = 2;
    EXPECT_EQ(Download(), DownloadCode::Failed);
    std::size_t asked = 0;
    for (const DiffItem& item : outcome_.diff) asked += server_.RangesAskedFor(item.url).size();
    EXPECT_LE(asked, 3u);
}

// The player cancels while one file is under way, and another fails after that.
TEST_F(DownloadTest, CancellingWinsOverAFailureRecordedAfterIt) {
    const std::string slow = Add("slow", Bytes(400000, 's')).url;
    const std::string fails = Add("fails", Bytes(10, 'f')).url;
    server_.Script(slow, {{Answer::Serve, 0, true}});
    server_.Script(fails, {{Answer::Status, 404, true}});
    config_.download_workers = 2;
    std::atomic<bool> cancel{false};
    std::thread player([&] {
        server_.AwaitRequests({slow, fails});
        cancel = true;
        server_.Release(slow);
        server_.AwaitRequests({slow}, true);
        server_.Release(fails);
    });
    EXPECT_EQ(Download([&] { return cancel.load(); }), DownloadCode::Failed);
    player.join();
    EXPECT_EQ(error_, "cancelled by the player");
}

TEST_F(DownloadTest, AnExceptionInAWorkerIsThatWorkersFailureAndEveryThreadIsJoined) {
    for (int i = 0; i < 8; ++i) Add("f" + std::to_string(i), Bytes(2000, static_cast<char>(i)));
    server_.Script(outcome_.diff[3].url, {{Answer::Throw}});
    config_.download_workers = 4;
    EXPECT_EQ(Download(), DownloadCode::Failed);
    EXPECT_EQ(error_, "download of f3 failed: stand-in refused to work");
}

}  // namespace
}  // namespace patcher::win
