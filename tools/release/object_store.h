// The objects folder that the releases of one deployment share: every published file's bytes under
// the name of their SHA-256 ("ab/ab12…"), the chunk index of a large one and the compressed form
// of one that zstd shrinks enough beside it. An object is written once and never rewritten, so a
// CDN may cache any of them for ever; a release folder then holds only its signed documents (and
// the list of its objects' forms), and publishing one adds only the objects that are new.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/manifest.h"
#include "core/status.h"
#include "tools/release/object_deltas.h"

namespace patcher::release {

// The path of the object of a SHA-256 below the objects folder, and below its address.
std::string ObjectName(const std::string& sha256);

struct ObjectTally {
    int added = 0;
    int reused = 0;
    std::uint64_t added_bytes = 0;
    std::uint64_t reused_bytes = 0;
    int chunk_indexes = 0;  // written for new large objects (or found missing beside old ones)
    int forms_added = 0;    // written for new objects
    std::uint64_t forms_added_bytes = 0;
    int deltas_added = 0;  // written for pairs of objects that had none
    std::uint64_t deltas_added_bytes = 0;
};

// Stores the release's file `path`, read from `source`, whose SHA-256 and size were measured, as
// its object. A new one is copied to a temporary name, flushed, measured again (a source that
// changed meanwhile is refused) and only then given its name. One already there is kept as it is,
// after a check that it is the object its name says (ContentMismatch when not). A new one gets its
// compressed form, made at zstd level `form_level`, when that is small enough; one stored before
// keeps the form it has, or has none. `form_bytes` is the size of the object's form, checked like
// the object, or 0 when it has none.
Status StoreObject(const std::string& objects, const std::string& path, const std::string& source,
                   const std::string& sha256, std::uint64_t size, int form_level,
                   ObjectTally& tally, std::uint64_t& form_bytes);

// Stores the delta of `pair` (object_deltas.h) beside its new object unless one is there: made at
// zstd level `level` and kept only when smaller than `below` bytes. One already there is checked
// like a new one and never rewritten. `delta_bytes` is the size of the delta that is there when it
// is smaller than `below`, else 0; so it is when the old object is gone from the folder.
Status StoreDelta(const std::string& objects, const DeltaPair& pair, int level, std::uint64_t below,
                  ObjectTally& tally, std::uint64_t& delta_bytes);

// Every object the release's files (its manifest's and its shards', LoadReleaseFiles) name is there
// with its size and SHA-256 (else ContentMismatch naming the first that is not), a large one with
// the chunk index its bytes give (a missing index is a note: players then fetch that file whole).
// Answers how many objects were checked.
Result<int> CheckManifestObjects(const std::string& objects, const std::vector<FileEntry>& files,
                                 std::vector<std::string>& notes);

// Every form that `form_list` (a release's list of forms) names for an object of the release's
// files is there with the size the list gives and decodes to its object, as the patcher decodes it
// (else ContentMismatch naming the first that does not). Answers how many forms were checked.
Result<int> CheckListedForms(const std::string& objects, const std::vector<FileEntry>& files,
                             const std::string& form_list);

// Every delta that `delta_list` (a release's list of deltas) names into an object of the release's
// files is there with the size the list gives and decodes, given the object it is made from, to its
// object, as the patcher decodes it (else ContentMismatch naming the first that does not). One
// whose old object is gone (gc removes the delta with it) is only a note: patchers that hold the
// old copy and find no delta fetch the file as they would without. Answers how many deltas were
// checked.
Result<int> CheckListedDeltas(const std::string& objects, const std::vector<FileEntry>& files,
                              const std::string& delta_list, std::vector<std::string>& notes);

}  // namespace patcher::release
