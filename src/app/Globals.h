// The shared in-memory picture of the document's links and the global data beside it.
// Everything here lives for the whole run and is touched only from the UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ravel {

// A Boolean field that may also be unread (empty) or, for the lock state of a floating
// item, the text "N/A".
enum class Flag : std::uint8_t { Empty, False, True, NotApplicable };

inline Flag FlagOf(bool b) {
  return b ? Flag::True : Flag::False;
}
// "True", "False", "N/A" or empty: the texts the list shows and compares.
const char* TextOf(Flag f);
inline const char* TextOf(bool b) {
  return b ? "True" : "False";
}

struct LinkItem {
  std::string FileName;
  std::string SourcePath;
  Flag SaveWithDocument = Flag::Empty;
  Flag Locked = Flag::Empty;
  std::string TypeText;
  bool Changed = false;
  bool Selected = false;
  std::int32_t ShapeIndex = 0;
  std::int16_t InLine = 0;
  bool Hidden = false;
  // The link's source as Word gave it at the read: the save writes only to a shape that
  // still holds it (the user may have deleted or relinked items in Word since).
  std::string ReadSource;
};

// Item numbers run from 1 to kCapacity; entry 0 is never filled.
constexpr int kCapacity = 300;
// Found locations kept per item; cell 0 of a FoundPaths row holds their count.
constexpr int kMaxFound = 30;

using FoundRow = std::array<std::string, kMaxFound + 1>;

struct Globals {
  std::array<LinkItem, kCapacity + 1> LinkTable{};
  std::int32_t ItemCount = 0;
  // The full name of the document the list was read from (two open documents may share a
  // name).
  std::string DocumentFullName;
  bool SuppressClickEvents = false;
  bool StopRequested = false;

  // Search results of the last dissolve: rows 0..ItemCount, row 0 unused.
  std::vector<FoundRow> FoundPaths;
  std::int32_t WalkDepth = 0;
  std::int32_t RootFolderCount = 0;

  // Record n; callers keep n within 1..ItemCount (never beyond the capacity).
  LinkItem& Item(int n) { return LinkTable.at(static_cast<std::size_t>(n)); }
};

}  // namespace ravel
