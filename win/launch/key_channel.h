// The key channel: two single-instance named pipes whose far ends the game inherits as its standard
// input and its standard output and error (our ends are overlapped, so a read or a write can be
// abandoned), and two threads: one reads the game's output, one answers its key requests. Lines
// on the pipes:
//   patcher to game  "KEY <key>" or "KEYERR <reason>", one write each, LF-terminated
//   game to patcher  "KEYREQ" (one fresh key, please) or "NOTE <text>" (kept for diagnostics)
// When the game exits the channel reads what it had already written, records its exit code and
// calls the closing callback, once, unless the owner closed the channel first. The game's exit is
// watched on its process handle, not only on its output pipe: a helper the game started may have
// inherited the pipe ends and keep them open long after the game has gone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "rules/channel_lines.h"
#include "rules/key_fetch_outcome.h"
#include "win/launch/key_provider.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

class KeyChannel {
  public:
    KeyChannel();
    // Closes the channel. A thread still stuck in a call keeps the channel's state (and the
    // handles it uses) alive until it returns, so it never touches freed memory.
    ~KeyChannel();
    KeyChannel(const KeyChannel&) = delete;
    KeyChannel& operator=(const KeyChannel&) = delete;

    // Both before Attach. `outcome` is the key service outcome the provider writes, when it has
    // one.
    void SetProvider(KeyProvider provider,
                     std::shared_ptr<rules::KeyFetchOutcome> outcome = nullptr);
    bool has_provider() const;
    void SetClosingCallback(std::function<void()> callback);

    bool Create(std::string& message);
    // The game's ends, to be inherited by the game process; null before Create and after Attach.
    HANDLE game_input() const;
    HANDLE game_output() const;

    // Takes the process handle in every case and starts the channel's threads: one reads the
    // game's output, one answers its key requests.
    bool Attach(unique_handle process, std::string& message);

    // Gets a key from the provider and writes the KEY line, or a KEYERR line with the reason. On an
    // attached channel the answering thread does it (it is the only writer, so lines never mix)
    // while the caller waits; once the game has exited, a write has failed or Close has begun, no
    // key is fetched and nothing is written. `outcome` receives the key service outcome of this
    // very fetch, when the channel holds one.
    bool SendKey(std::string& reason, std::optional<rules::KeyFetchOutcome>* outcome = nullptr);

    // Stops the threads (waiting at most 3 s) without calling the closing callback; idempotent.
    void Close();

    // Waits until the game has exited and the threads are done; false after `timeout_ms`.
    bool WaitFinished(std::uint32_t timeout_ms) const;
    rules::ChannelRecord Record() const;
    // The latest key service outcome; false when the channel holds none.
    bool FetchOutcome(rules::KeyFetchOutcome& outcome) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace patcher::win
