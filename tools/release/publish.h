// Publishing: a complete release folder (signed registry, signed manifest, game files, signed
// news and stage art) built beside its destination and moved into place only after the core's
// Validate and the patcher's news and stage-art checks accept it, so a refused or interrupted
// publish never leaves a release folder behind. With an objects folder the game files become its
// objects instead (object_store.h), stored before the release folder that names them appears, and
// the release folder gets the lists of their compressed forms and of their deltas.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"
#include "tools/release/manifest_document.h"
#include "tools/release/object_deltas.h"
#include "tools/release/object_forms.h"
#include "tools/release/object_store.h"

namespace patcher::release {

struct PublishOptions {
    std::string out;          // the release folder to create; must not exist
    std::string game;         // the folder of game files
    std::string keys;         // keys.txt, signed (keys.txt.sig beside it)
    std::string signing_key;  // PEM of a valid registry key
    std::string root_key;     // root public key text, for the final validation
    std::string base_url;     // the release address the patcher is configured with
    std::string files_url;    // where the game files are served; default base_url + "/files"
    std::string objects;      // the shared objects folder; empty: the files go under files/
    std::string objects_url;  // where the objects folder is served (with objects only)
    int form_level = kFormDefaultLevel;          // the zstd level of new objects' compressed forms
    int delta_releases = kDeltaDefaultReleases;  // the newest releases deltas are made from
    int delta_level = kDeltaDefaultLevel;
    ShardMode shards = ShardMode::Auto;  // when the file lines go into shards/
    std::string version;
    std::string channel;
    std::string counter;   // empty: the previous release's counter + 1
    std::string previous;  // the previous release folder, or empty
    std::string created;   // empty: now
    std::string expires;
    std::string now;       // empty: the clock
    std::string announce;  // news documents and stage picture, each optional
    std::string updates;
    std::string stage;
    bool require_signed_patcher = false;  // refuse a patcher exe without Authenticode
    std::string ca_file;  // the CA its signature must chain to; empty: any intact signature
};

struct PublishSummary {
    std::string version;
    std::string channel;
    std::string counter;
    std::string signing_key_id;
    int file_count = 0;
    int chunk_indexes = 0;               // game files served with a chunk index beside them
    int shard_count = 0;                 // the documents under shards/ that the manifest names
    bool into_objects = false;           // published into an objects folder
    ObjectTally objects;                 // what that folder gained and what it already held
    std::vector<std::string> published;  // the names at the top of the release folder
    std::vector<std::string> notes;      // things the operator should know, not refusals
};

// The subfolder of a release that holds the game files.
inline constexpr const char* kFilesFolder = "files";

Status Publish(const PublishOptions& options, PublishSummary& summary);

}  // namespace patcher::release
