// Floating linked pictures cannot be relinked in place: they are re-created from the new
// file with the old shape's formatting. Floating shapes are found again by name, since a
// transfer deletes one shape and appends another, moving every later shape forward.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inventory/Word.h"

namespace ravel {

struct LinkItem;

// The names of the floating linked shapes as they were when the save began, by position.
struct CensusRow {
  std::string name;  // empty for a shape that is not a linked picture or linked OLE object
  int unique = -1;   // 1: no other shape had the name; 0: others had it; -1: no name taken
  int type = 0;      // the shape's type (11 linked picture, 10 linked OLE object)
};

class ShapeCensus {
 public:
  // Rows for positions 1..count, all empty.
  void Prepare(int count);
  // Fills the rows from the document's floating shapes (every call may throw).
  void Take(const Document& doc);
  // Row of position `index`, or null beyond the census.
  const CensusRow* Row(std::int32_t index) const;
  int Size() const { return static_cast<int>(rows_.size()); }

  // The names of all floating shapes by position as the save last saw them, so that a shape
  // is found again with a check of its predicted position instead of a walk over all
  // shapes. Known() is false once something happened that the model cannot follow.
  bool Known() const { return known_; }
  const std::vector<std::string>& Names() const { return names_; }
  void SetNames(std::vector<std::string> names, bool known);
  // The 1-based position of the only shape of that name; 0 when none or several have it.
  int PositionOf(const std::string& name) const;
  void Removed(int position);
  // A new shape at `position` (its z-order position, which is its index).
  void Added(const std::string& name, int position);
  void Lost() { known_ = false; }

  // The names of all floating shapes in their stacking order when the save began, and the
  // re-created shapes' new names by old name: what the stacking order is put back to.
  const std::vector<std::string>& Original() const { return original_; }
  void Replaced(const std::string& old_name, const std::string& new_name);
  const std::vector<std::pair<std::string, std::string>>& Replacements() const { return replaced_; }

 private:
  std::vector<CensusRow> rows_;
  std::vector<std::string> names_;
  std::vector<std::string> original_;
  std::vector<std::pair<std::string, std::string>> replaced_;
  bool known_ = false;
};

// Runs one Word call under the save's failure rules: in the strict regime its failure
// propagates; in the tolerant regime it is passed over. Enter switches to the tolerant regime
// for good.
class SaveSteps {
 public:
  explicit SaveSteps(WordApp& word) : word_(word) {}
  bool Tolerant() const { return tolerant_; }
  void EnterTolerant() { tolerant_ = true; }
  WordApp& Word() { return word_; }
  // The document every call of one item goes through, fetched at the item's start; without
  // one, the document active in Word now.
  void UseDocument(std::optional<Document> doc) { doc_ = std::move(doc); }
  Document Doc() { return doc_ ? *doc_ : ActiveDocument(word_); }
  // The document's floating shapes, fetched once for the save (it writes to one document).
  Shapes Floating() {
    if (!floating_) floating_.emplace(Doc().FloatingShapes());
    return *floating_;
  }

  // The active document's Hyperlinks, fetched once for the save, and whether the document
  // had any hyperlinks or tables when first asked: without any, no shape has a hyperlink to
  // carry over or lies in a table cell.
  WObjectPtr Hyperlinks() {
    if (!hyperlinks_) hyperlinks_ = AsObject(RawDocument()->Get("Hyperlinks"));
    return hyperlinks_;
  }
  bool AnyHyperlinks() {
    if (!any_hyperlinks_) any_hyperlinks_ = AsLong(Hyperlinks()->Get("Count")) > 0;
    return *any_hyperlinks_;
  }
  bool AnyTables() {
    if (!any_tables_)
      any_tables_ = AsLong(AsObject(RawDocument()->Get("Tables"))->Get("Count")) > 0;
    return *any_tables_;
  }

  // Something was relinked: in the item now (its undo list is cleared after it) and in the
  // save at all (else the document's saved state is put back).
  void MarkChanged() { item_changed_ = any_changed_ = true; }
  bool TakeItemChanged() { return std::exchange(item_changed_, false); }
  bool AnyChanged() const { return any_changed_; }
  // Items passed over because their shape changed in Word since the list was read.
  void Skipped() { ++skipped_; }
  int SkippedCount() const { return skipped_; }

  // Runs f; false when it failed and was passed over.
  template <class F>
  bool Do(F&& f) {
    if (!tolerant_) {
      f();
      return true;
    }
    try {
      f();
      return true;
    } catch (const OperationCancelled&) {
      throw;
    } catch (const std::exception&) {
      return false;
    }
  }
  // A read: its value, or nothing when it failed and was passed over.
  template <class F>
  auto Read(F&& f) -> std::optional<decltype(f())> {
    std::optional<decltype(f())> out;
    Do([&] { out = f(); });
    return out;
  }

 private:
  WordApp& word_;
  std::optional<Document> doc_;
  std::optional<Shapes> floating_;
  WObjectPtr RawDocument() {
    if (!document_) document_ = AsObject(word_.Global()->Get("ActiveDocument"));
    return document_;
  }

  WObjectPtr document_, hyperlinks_;
  std::optional<bool> any_hyperlinks_, any_tables_;
  bool tolerant_ = false;
  bool item_changed_ = false, any_changed_ = false;
  int skipped_ = 0;
};

// Writes the item's new source into its shape, found by the census name: a linked picture is
// re-created where the old one was anchored, a linked OLE object relinked in place. Silently
// does nothing for an item whose name was shared or is no longer found exactly once. Keeps
// the census's model of names up to date with what it changed.
void TransferFloating(SaveSteps& steps, ShapeCensus& census, const LinkItem& item);

// Word adds each new picture in front of all shapes: puts the floating shapes back into the
// stacking order they had when the save began, the re-created pictures where the old ones
// lay, with as few moves as the order allows.
void RestoreStacking(SaveSteps& steps, const ShapeCensus& census);

// The in-line OLE sequence: relinks the shape in place, keeping its colour type, brightness
// and contrast. Starts the tolerant regime. Shared with floating linked OLE objects.
void RelinkOle(SaveSteps& steps, const Shape& shape, const LinkItem& item);

}  // namespace ravel
