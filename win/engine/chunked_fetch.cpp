#include "win/engine/chunked_fetch.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "core/chunk_index.h"
#include "core/chunk_plan.h"
#include "core/compressed_form.h"
#include "core/content_chunker.h"
#include "core/form_decoder.h"
#include "core/hex.h"
#include "rules/download_plan.h"
#include "rules/resume_rules.h"
#include "win/platform/atomic_file.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr std::uint32_t kReadPiece = 262144;

// The old copy, read a piece at a time from wherever the plan points.
class OldCopy {
  public:
    explicit OldCopy(unique_hfile file) : file_(std::move(file)), buffer_(kReadPiece) {}
    bool is_open() const { return file_.is_valid(); }

    // Hands `length` bytes from `offset` on to `sink` in pieces.
    template <typename Sink>
    bool Read(std::uint64_t offset, std::uint64_t length, Sink&& sink) {
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!::SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return false;
        while (length > 0) {
            const DWORD want = static_cast<DWORD>(length < kReadPiece ? length : kReadPiece);
            DWORD got = 0;
            if (!::ReadFile(file_.get(), buffer_.data(), want, &got, nullptr) || got != want) {
                return false;
            }
            if (!sink(buffer_.data(), got)) return false;
            length -= got;
        }
        return true;
    }
    bool Size(std::uint64_t& bytes) const {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size)) return false;
        bytes = static_cast<std::uint64_t>(size.QuadPart);
        return true;
    }

  private:
    unique_hfile file_;
    std::vector<char> buffer_;
};

class ChunkedUpdate {
  public:
    ChunkedUpdate(const BodySource& source, const DiffItem& item, OldCopy& old,
                  std::uint64_t form_bytes, Transfer& transfer, std::string& why)
        : source_(source),
          item_(item),
          old_(old),
          form_bytes_(form_bytes),
          transfer_(transfer),
          why_(why) {}

    ChunkedResult Run() {
        const std::optional<Sha256Digest> digest = DecodeDigestHex(item_.sha256);
        if (!digest) return Refuse("the manifest's digest is not one");
        std::string bytes;
        if (const ChunkedResult step = IndexPart(0, kChunkIndexHeaderBytes, bytes);
            step != ChunkedResult::Done) {
            return step;
        }
        const auto header = ParseChunkIndexHeader(bytes, transfer_.expected(), *digest, why_);
        if (!header) return Refuse(why_);
        if (header->group_count > kMaxIndexGroups) {
            return Refuse("it has " + std::to_string(header->group_count) +
                          " groups, more than the patcher holds for one file");
        }
        if (const ChunkedResult step =
                IndexPart(kChunkIndexHeaderBytes, ChunkGroupTableBytes(*header), bytes);
            step != ChunkedResult::Done) {
            return step;
        }
        auto groups = ParseChunkGroups(bytes, *header, why_);
        if (!groups) return Refuse(why_);

        std::vector<ChunkGroup> old_groups;
        if (const ChunkedResult step = ScanOldGroups(old_groups); step != ChunkedResult::Done)
            return step;
        const std::vector<std::int64_t> matches = MatchGroups(*groups, old_groups);
        if (std::none_of(matches.begin(), matches.end(), [](std::int64_t m) { return m >= 0; })) {
            why_ = "the old copy shares no part with the new file";
            return ChunkedResult::Fallback;
        }
        std::vector<ChunkEntry> new_chunks, old_chunks;
        if (const ChunkedResult step = FetchEntries(*header, *groups, matches, new_chunks);
            step != ChunkedResult::Done) {
            return step;
        }
        if (const ChunkedResult step =
                ScanOldChunks(UnmatchedOldGroups(old_groups, matches),
                              kMaxChunkEntriesHeld - new_chunks.size(), old_chunks);
            step != ChunkedResult::Done) {
            return step;
        }
        const std::vector<ChunkSegment> plan = CoalesceFetches(
            SegmentsFrom(PlanSegments(*groups, old_groups, matches, new_chunks, old_chunks),
                         transfer_.have()),
            kRangeRequestCostBytes, kMaxRangeRequests);
        const std::uint64_t reuse = LocalBytes(plan);
        if (!PlanBeatsWholeFetch(plan, transfer_.expected() - transfer_.have())) {
            why_ = "the old copy gives " + std::to_string(reuse) +
                   " bytes, too few for the requests they take";
            return ChunkedResult::Fallback;
        }
        transfer_.ExpectReuse(reuse);
        LogLine("download: " + item_.path + ": " + std::to_string(reuse) +
                " bytes from the old copy, " +
                std::to_string(transfer_.expected() - transfer_.have() - reuse) +
                " bytes in ranges");
        for (const FormPiece& piece : WithForm(plan)) {
            if (const ChunkedResult step = Apply(piece); step != ChunkedResult::Done) return step;
        }
        return ChunkedResult::Done;
    }

  private:
    ChunkedResult Refuse(const std::string& reason) {
        why_ = "the chunk index is refused: " + reason;
        return ChunkedResult::Fallback;
    }

    ChunkedResult Cancelled() {
        transfer_.MarkCancelled();
        return ChunkedResult::Cancelled;
    }

    // One range of `url`, in up to kDownloadAttempts attempts that each carry on where the last
    // stopped. Only a 206 with exactly the range asked for is read.
    ChunkedResult Range(const std::wstring& url, std::uint64_t first, std::uint64_t length,
                        const HttpSink& sink) {
        std::uint64_t got = 0;
        for (std::uint32_t attempt = 1;; ++attempt) {
            const std::uint64_t from = first + got, rest = length - got;
            bool exact = true;
            const HttpAccept accept = [&](const HttpBodyStart& start) {
                exact = IsExactRange(start, from, rest);
                return exact;
            };
            HttpResponse response = source_(
                BodyRequest{url, RangeHeader(from, rest), rest, FileDeadlineMs(rest)}, accept,
                [&](const char* bytes, std::uint32_t size) {
                    if (!transfer_.Pace(size) || !sink(bytes, size)) return false;
                    got += size;
                    return true;
                },
                [&](std::uint64_t, std::uint64_t) { transfer_.Progress(); });
            if (transfer_.cancelled()) return ChunkedResult::Cancelled;
            response.error = BodyOutcome(response.error, got, length);
            if (response.error == HttpError::Ok && got == length) return ChunkedResult::Done;
            if (!exact || response.error == HttpError::Ok) {
                why_ = "the server did not answer bytes " + std::to_string(from) + "-" +
                       std::to_string(first + length - 1) + " with exactly that range";
                return ChunkedResult::Fallback;
            }
            const std::string failure = TransferFailure(item_, DescribeResponse(response));
            switch (AfterFailedAttempt(transfer_.shared(), attempt, response, failure,
                                       "asks for bytes " + std::to_string(first + got) + "-" +
                                           std::to_string(first + length - 1))) {
                case NextAttempt::Retry:
                    continue;
                case NextAttempt::Cancelled:
                    return Cancelled();
                case NextAttempt::GiveUp:
                    break;
            }
            why_ = failure;
            // A server that refuses the range itself would refuse it again on the next run.
            return response.error == HttpError::HttpStatus ? ChunkedResult::Fallback
                                                           : ChunkedResult::Failed;
        }
    }

    // A part of the chunk index, kept in memory: its size is bounded by what the file can need.
    ChunkedResult IndexPart(std::uint64_t first, std::uint64_t length, std::string& out) {
        out.clear();
        if (length == 0) return ChunkedResult::Done;
        const ChunkedResult step = Range(Utf8ToWide(item_.url + kChunkIndexSuffix), first, length,
                                         [&](const char* bytes, std::uint32_t size) {
                                             transfer_.CountWireBytes(size);
                                             out.append(bytes, size);
                                             return true;
                                         });
        if (step == ChunkedResult::Failed || step == ChunkedResult::Fallback) {
            // An index that cannot be had is no reason to give up the file.
            why_ = "the chunk index could not be fetched: " + why_;
            return ChunkedResult::Fallback;
        }
        return step;
    }

    // The chunk entries of the groups the old copy lacks, fetched in runs of adjacent groups; a
    // run of groups the old copy has between two such runs is fetched through when it is short.
    ChunkedResult FetchEntries(const ChunkIndexHeader& header,
                               const std::vector<ChunkGroup>& groups,
                               const std::vector<std::int64_t>& matches,
                               std::vector<ChunkEntry>& out) {
        const auto entries_of = [&](std::size_t g) {
            return ByteRun{ChunkEntriesOffset(header, groups[g].first_chunk),
                           std::uint64_t{groups[g].chunk_count} * kChunkEntryBytes};
        };
        std::vector<ByteRun> wanted;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (matches[g] < 0) wanted.push_back(entries_of(g));
        }
        const std::vector<ByteRun> runs =
            CoalesceRuns(wanted, kRangeRequestCostBytes, kMaxRangeRequests);
        std::uint64_t held = 0;
        for (const ByteRun& run : runs) held += run.length / kChunkEntryBytes;
        if (held > kMaxChunkEntriesHeld) {
            why_ = "the chunk index is refused: it asks for " + std::to_string(held) +
                   " chunk entries, more than the patcher holds for one file";
            return ChunkedResult::Fallback;
        }
        std::string bytes;
        std::size_t g = 0;
        for (const ByteRun& run : runs) {
            const ChunkedResult step = IndexPart(run.offset, run.length, bytes);
            if (step != ChunkedResult::Done) return step;
            for (; g < groups.size(); ++g) {
                const ByteRun part = entries_of(g);
                if (part.offset >= run.offset + run.length) break;
                if (matches[g] >= 0) continue;  // fetched through with a run, not needed
                auto entries =
                    ParseChunkEntries(std::string_view(bytes).substr(
                                          static_cast<std::size_t>(part.offset - run.offset),
                                          static_cast<std::size_t>(part.length)),
                                      groups[g], header.file_size, why_);
                if (!entries) {
                    why_ = "the chunk index is refused: " + why_;
                    return ChunkedResult::Fallback;
                }
                out.insert(out.end(), entries->begin(), entries->end());
            }
        }
        return ChunkedResult::Done;
    }

    // Hands `length` bytes of the old copy from `offset` on to `sink`; stops when the run winds
    // down. A file that shrank or cannot be read ends the chunk path.
    template <typename Sink>
    ChunkedResult ReadOld(std::uint64_t offset, std::uint64_t length, Sink&& sink) {
        const bool read = old_.Read(offset, length, [&](const char* bytes, std::uint32_t size) {
            return !IsCancelled(transfer_.shared()) && sink(bytes, size);
        });
        if (IsCancelled(transfer_.shared())) return Cancelled();
        if (read) return ChunkedResult::Done;
        why_ = "the old copy could not be read";
        return ChunkedResult::Fallback;
    }

    ChunkedResult ScanOldGroups(std::vector<ChunkGroup>& out) {
        std::uint64_t size = 0;
        if (!old_.Size(size)) {
            why_ = "the old copy's size could not be read";
            return ChunkedResult::Fallback;
        }
        ChunkGrouper grouper;
        ChunkScanner scanner([&](std::uint64_t offset, std::uint32_t length,
                                 const Sha256Digest& d) { grouper.Add(offset, length, d); });
        const ChunkedResult step = ReadOld(0, size, [&](const char* bytes, std::uint32_t length) {
            scanner.Feed(bytes, length);
            return true;
        });
        scanner.Finish();
        grouper.Finish();
        out = grouper.TakeGroups();
        return step;
    }

    // A group starts where a chunk does, so cutting from its start finds its chunks again. What is
    // held of the old copy's chunks and the new file's together stays within one cap.
    ChunkedResult ScanOldChunks(const std::vector<ChunkGroup>& groups, std::size_t room,
                                std::vector<ChunkEntry>& out) {
        bool full = false;
        for (const ChunkGroup& group : groups) {
            ChunkScanner scanner(
                [&](std::uint64_t offset, std::uint32_t length, const Sha256Digest& d) {
                    full = full || out.size() >= room;
                    if (!full)
                        out.push_back(ChunkEntry{group.offset + offset, length, ChunkTag(d)});
                });
            const ChunkedResult step =
                ReadOld(group.offset, group.length, [&](const char* bytes, std::uint32_t length) {
                    scanner.Feed(bytes, length);
                    return !full;
                });
            if (full) {
                why_ = "the old copy has more unmatched chunks than the patcher holds for one file";
                return ChunkedResult::Fallback;
            }
            if (step != ChunkedResult::Done) return step;
            scanner.Finish();
        }
        return ChunkedResult::Done;
    }

    // The plan's pieces, with the frames of the compressed form that take fewer bytes than the
    // ranges they hold. A form whose table cannot be had leaves the plan as it is.
    std::vector<FormPiece> WithForm(const std::vector<ChunkSegment>& plan) {
        std::vector<FormPiece> pieces;
        if (form_bytes_ > 0) {
            std::string head, table, why;
            ChunkedResult step = FormPart(0, kFormHeadBytes, head);
            const std::optional<std::uint64_t> length =
                step == ChunkedResult::Done ? ParseFormHead(head, transfer_.expected(), why)
                                            : std::nullopt;
            if (length) step = FormPart(kFormHeadBytes, *length - kFormHeadBytes, table);
            std::optional<std::vector<FormFrame>> frames;
            if (length && step == ChunkedResult::Done) {
                frames = ParseFormTable(head + table, transfer_.expected(), why);
            }
            if (frames) {
                frames_ = std::move(*frames);
                pieces = PlanFormPieces(plan, frames_);
            } else {
                LogLine("download: " + item_.path + ": the compressed form is refused: " +
                        (why.empty() ? why_ : why) + "; the ranges are fetched as they are");
            }
        }
        if (!pieces.empty()) return pieces;
        for (const ChunkSegment& segment : plan) {
            pieces.push_back(
                FormPiece{segment.local ? FormPiece::Source::Old : FormPiece::Source::Raw,
                          segment.offset, segment.length, segment.source, 0, 0});
        }
        return pieces;
    }

    // A part of the form's table; like the chunk index's, only ever what the file can need.
    ChunkedResult FormPart(std::uint64_t first, std::uint64_t length, std::string& out) {
        return Range(Utf8ToWide(item_.url + kFormSuffix), first, length,
                     [&](const char* bytes, std::uint32_t size) {
                         transfer_.CountWireBytes(size);
                         out.append(bytes, size);
                         return true;
                     });
    }

    ChunkedResult Apply(const FormPiece& piece) {
        switch (piece.source) {
            case FormPiece::Source::Old:
                return ReadOld(piece.old_offset, piece.length,
                               [&](const char* bytes, std::uint32_t size) {
                                   return transfer_.Reuse(bytes, size);
                               });
            case FormPiece::Source::Raw:
                return Range(Utf8ToWide(item_.url), piece.offset, piece.length,
                             [&](const char* bytes, std::uint32_t size) {
                                 return transfer_.Accept(bytes, size);
                             });
            case FormPiece::Source::Form:
                break;
        }
        const FormFrame& first = frames_[piece.first_frame];
        const FormFrame& last = frames_[piece.first_frame + piece.frame_count - 1];
        FormDecoder decoder(frames_, piece.first_frame, piece.frame_count, piece.offset);
        const ChunkedResult step =
            Range(Utf8ToWide(item_.url + kFormSuffix), first.form_offset,
                  last.form_offset + last.form_length - first.form_offset,
                  [&](const char* bytes, std::uint32_t size) {
                      transfer_.CountWireBytes(size);
                      return decoder.Feed(bytes, size, [&](const char* d, std::uint32_t n) {
                          return transfer_.AcceptDecoded(d, n);
                      });
                  });
        if (!decoder.why().empty()) {
            why_ = "the compressed form is refused: " + decoder.why();
            return ChunkedResult::Fallback;
        }
        return step;
    }

    const BodySource& source_;
    const DiffItem& item_;
    OldCopy& old_;
    const std::uint64_t form_bytes_;
    std::vector<FormFrame> frames_;
    Transfer& transfer_;
    std::string& why_;
};

}  // namespace

bool ChunkedFetchApplies(const DiffItem& item, const std::wstring& destination,
                         const Transfer& transfer) {
    if (item.path == kPatcherManifestPath || transfer.expected() < kChunkIndexMinFileBytes ||
        transfer.have() >= transfer.expected()) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(destination.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

ChunkedResult FetchChangedChunks(const BodySource& source, const DiffItem& item,
                                 const std::wstring& old_copy, std::uint64_t form_bytes,
                                 Transfer& transfer, std::string& why) {
    OldCopy old(OpenPlainFileForReading(old_copy));
    if (!old.is_open()) {
        why = "the old copy is no plain file of its own";
        return ChunkedResult::Fallback;
    }
    return ChunkedUpdate(source, item, old, form_bytes, transfer, why).Run();
}

}  // namespace patcher::win
