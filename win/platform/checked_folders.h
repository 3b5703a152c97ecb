// The folders one download has already found to be real directories with no link at or above
// them. Under Wine every ask about a name costs a walk of its path, and a game's files share a few
// hundred folders among thousands of files: each folder is examined when the run first writes into
// it, not again for each file. A link set up before the run, or by anything the run itself writes,
// is therefore still found; only one that another program puts in place of a folder while the run
// is writing into it goes unseen, which that program could do as well between any check and write.
#pragma once

#include <mutex>
#include <string>
#include <unordered_set>

namespace patcher::win {

class CheckedFolders {
  public:
    bool Contains(const std::wstring& folder) const;
    void Add(const std::wstring& folder);

  private:
    mutable std::mutex lock_;
    std::unordered_set<std::wstring> folders_;
};

}  // namespace patcher::win
