#include "relink/Walker.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/Form_Main.h"
#include "relink/TextCompare.h"

namespace ravel {

namespace {

constexpr std::string_view kStatusPrefix = "Dissolving Paths...";

struct FolderIdHash {
  std::size_t operator()(const FolderId& id) const {
    return std::hash<std::uint64_t>()(id.file * 0x9E3779B97F4A7C15ull ^ id.volume);
  }
};

// Hashes a folded name by its length and its first and last eight bytes: enough to tell
// the few hundred names of an index apart, at a fraction of the cost of hashing every byte
// of every file name met.
struct NameHash {
  std::size_t operator()(const std::string& s) const {
    std::uint64_t head = 0, tail = 0;
    std::size_t n = s.size();
    std::memcpy(&head, s.data(), std::min<std::size_t>(n, 8));
    if (n > 8) std::memcpy(&tail, s.data() + n - 8, 8);
    std::uint64_t h = (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ n) * 0xFF51AFD7ED558CCDull;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
};

class Walk {
 public:
  explicit Walk(Form_Main& main) : main_(main), g_(main.G), base_depth_(main.G.WalkDepth) {
    BuildIndex();
  }

  void Run(const std::string& root) {
    folder_ = root;
    while (!folder_.empty() && folder_.back() == '\\') folder_.pop_back();
    // An empty path would list the current drive's root: nothing to search.
    if (folder_.empty()) {
      Pump();
      return;
    }
    // An unexpected failure below a root folder gives up that root folder only: its open
    // listings are closed and the walk goes on with the root's next entry. A failure of the
    // root's own listing ends the walk.
    try {
      if (!Enter()) return;
    } catch (const std::exception&) {
      return;
    }
    for (;;) {
      try {
        Loop();
        return;
      } catch (const std::exception&) {
        if (stack_.empty() || (stack_.size() == 1 && folder_.size() == stack_[0].length)) return;
        stack_.resize(1);
        folder_.resize(stack_[0].length);
        SetDepth();
      }
    }
  }

  ~Walk() { g_.WalkDepth = base_depth_; }

 private:
  // One open listing per level; the folder paths of all levels share one text (folder_),
  // each level keeping only its length, so a deep tree costs memory in proportion to its
  // depth, not to the square of it.
  struct Frame {
    std::unique_ptr<DirListing> listing;
    std::size_t length;
  };

  // One case-insensitive index from name to the selected items (in item order) that carry
  // it, so a file costs one lookup however many items are being searched.
  void BuildIndex() {
    int count = std::clamp(g_.ItemCount, 0, kCapacity);
    if (g_.FoundPaths.size() < static_cast<std::size_t>(count) + 1) {
      std::size_t old = g_.FoundPaths.size();
      g_.FoundPaths.resize(static_cast<std::size_t>(count) + 1);
      for (std::size_t i = std::max<std::size_t>(old, 1); i < g_.FoundPaths.size(); ++i)
        g_.FoundPaths[i][0].assign(1, '0');
    }
    found_.assign(static_cast<std::size_t>(count) + 1, 0);
    for (int i = 1; i <= count; ++i) {
      const std::string& c0 = g_.FoundPaths[static_cast<std::size_t>(i)][0];
      int n = 0;
      std::from_chars(c0.data(), c0.data() + c0.size(), n);
      found_[static_cast<std::size_t>(i)] = std::clamp(n, 0, kMaxFound);
      const LinkItem& item = g_.Item(i);
      if (item.Selected && !item.FileName.empty()) index_[LowerCase(item.FileName)].push_back(i);
    }
  }

  void SetDepth() { g_.WalkDepth = base_depth_ + static_cast<std::int32_t>(stack_.size()) - 1; }

  // Events run once per folder; false when the walk is to end.
  bool Pump() {
    main_.Hst.PumpEvents();
    if (!g_.StopRequested) return true;
    main_.Label_ProgressBar.SetText("Idle");
    main_.ProgressBar_main.SetValue(0);
    return false;
  }

  // Starts on the folder folder_ names; false when the walk is to end. A folder that cannot
  // be listed counts as empty; a folder already entered in this walk (reached again through
  // a junction or symbolic link) is passed over.
  bool Enter() {
    std::size_t length = folder_.size();
    if (!Pump()) return false;
    folder_ += "\\*.*";
    std::unique_ptr<DirListing> listing = main_.Fs.List(folder_);
    folder_.resize(length);
    if (listing != nullptr) {
      std::optional<FolderId> id = listing->Id();
      if (!id) id = main_.Fs.IdOf(folder_);
      if (id && !visited_.insert(*id).second) listing.reset();
    }
    if (listing == nullptr) {
      if (!stack_.empty()) folder_.resize(stack_.back().length);
      return true;
    }
    stack_.push_back(Frame{std::move(listing), length});
    SetDepth();
    return true;
  }

  void Loop() {
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (!top.listing->Next(entry_)) {
        stack_.pop_back();
        if (!stack_.empty()) folder_.resize(stack_.back().length);
        SetDepth();
        continue;
      }
      const std::string& name = entry_.name;
      if (name == "." || name == "..") continue;
      if (entry_.IsFolder()) {
        if (g_.WalkDepth == 0) {
          // The bar refuses a value beyond its maximum and keeps the one it has.
          ++root_folders_;
          main_.ProgressBar_main.SetValue(root_folders_);
        }
        if (g_.StopRequested) return;
        // The walk descends at once, before the entries that follow in the listing.
        folder_ += '\\';
        folder_ += name;
        if (!Enter()) return;
        continue;
      }
      // The label shows every file; its window may repaint only when events run.
      status_.resize(kStatusPrefix.size());
      status_ += folder_;
      status_ += '\\';
      status_ += name;
      main_.Label_ProgressBar.SetText(status_);
      LowerCaseInto(name, key_);
      auto hit = index_.find(key_);
      if (hit == index_.end()) continue;
      for (int i : hit->second) Record(i);
    }
  }

  void Record(int i) {
    int& n = found_[static_cast<std::size_t>(i)];
    if (n >= kMaxFound) return;
    ++n;
    FoundRow& row = g_.FoundPaths[static_cast<std::size_t>(i)];
    row[0] = std::to_string(n);
    row[static_cast<std::size_t>(n)].assign(status_, kStatusPrefix.size());
  }

  Form_Main& main_;
  Globals& g_;
  const std::int32_t base_depth_;
  std::vector<Frame> stack_;
  std::unordered_set<FolderId, FolderIdHash> visited_;
  std::unordered_map<std::string, std::vector<int>, NameHash> index_;
  std::vector<int> found_;
  int root_folders_ = 0;
  DirEntry entry_;
  std::string folder_, key_;
  std::string status_{kStatusPrefix};  // the prefix, then the path of the current file
};

}  // namespace

void SearchFiles(Form_Main& main, const std::string& folder) {
  Walk walk(main);
  walk.Run(folder);
}

}  // namespace ravel
