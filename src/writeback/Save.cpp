#include "writeback/Save.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "inventory/Word.h"
#include "relink/FileOP.h"
#include "writeback/Transfer.h"

namespace ravel {

const char* const kSavingStatus = "Saving Information to Document Object...";
const char* const kSaveTitle = "Save Operation";
const char* const kCancelledStatus = "Save stopped while Microsoft Word was busy";

std::string SkippedStatus(int items) {
  return "Idle - " + std::to_string(items) +
         (items == 1 ? " item not written: it changed" : " items not written: they changed") +
         " in Word after the list was read";
}

namespace {

void ClearUndo(SaveSteps& steps) {
  steps.Do([&] { steps.Doc().UndoClear(); });
}

// The item's store-in-document flag goes into the link when it differs from the link's (or
// when the link's cannot be read). An item whose flag was never read has nothing to write.
void WriteSaveWithDocument(SaveSteps& steps, const Shape& shape, const LinkItem& item) {
  if (item.SaveWithDocument != Flag::True && item.SaveWithDocument != Flag::False) return;
  // Word stores a copy only of a linked picture: an OLE link has no such flag.
  if (item.TypeText != "Picture") return;
  bool want = item.SaveWithDocument == Flag::True;
  auto now = steps.Read([&] { return shape.Link().SavePictureWithDocument(); });
  if ((!now || *now != want) && steps.Do([&] { shape.Link().SetSavePictureWithDocument(want); }))
    steps.MarkChanged();
}

// Writes the new source; true when Word took it.
bool WriteSource(SaveSteps& steps, const Shape& shape, const LinkItem& item) {
  if (!steps.Do([&] { shape.Link().SetSourceFullName(item.SourcePath); })) return false;
  steps.MarkChanged();
  return true;
}

using Saved = std::map<Prop, Value>;

// Reads the properties in order, each on its own; a failed read leaves no saved value.
Saved Capture(SaveSteps& steps, const Shape& shape, std::span<const Prop> props) {
  Saved saved;
  for (Prop p : props)
    if (auto v = steps.Read([&] { return shape.Get(p); })) saved[p] = *v;
  return saved;
}

enum class When { Always, Differs };

// Writes the saved value back, when there is one and, for Differs, when the shape's current
// value is not equal to it (a current value that cannot be read lets the write be tried).
void Restore(SaveSteps& steps, const Shape& shape, const Saved& saved, Prop p, When when) {
  auto it = saved.find(p);
  if (it == saved.end()) return;
  if (when == When::Differs) {
    auto now = steps.Read([&] { return shape.Get(p); });
    if (now && SameValue(*now, it->second)) return;
  }
  steps.Do([&] { shape.Put(p, it->second); });
}

// What Word loses when an in-line picture is reloaded from its new source, in the order it
// is read before the change.
constexpr Prop kPictureCapture[] = {
    Prop::AlternativeText,  Prop::LockAspectRatio,   Prop::ScaleHeight,     Prop::ScaleWidth,
    Prop::PictureColorType, Prop::PictureBrightness, Prop::PictureContrast, Prop::PictureCropBottom,
    Prop::PictureCropLeft,  Prop::PictureCropRight,  Prop::PictureCropTop,
};

struct RestoreStep {
  Prop prop;
  When when;
  bool clear_undo_after = false;
};
// The order in which it is written back after the alternative text and the scales; the
// undo list is cleared on the way.
constexpr RestoreStep kPictureRestore[] = {
    {Prop::PictureBrightness, When::Differs},    {Prop::PictureContrast, When::Differs},
    {Prop::PictureColorType, When::Always},      {Prop::PictureCropBottom, When::Differs},
    {Prop::PictureCropLeft, When::Differs},      {Prop::PictureCropRight, When::Differs, true},
    {Prop::PictureCropTop, When::Differs, true},
};

void RelinkPicture(SaveSteps& steps, const Shape& shape, const LinkItem& item) {
  steps.EnterTolerant();
  Saved saved = Capture(steps, shape, kPictureCapture);
  // The lock goes back as a Boolean, whatever type Word answered.
  if (auto lock = saved.find(Prop::LockAspectRatio); lock != saved.end()) {
    auto b = steps.Read([&] { return AsBool(lock->second); });
    if (b)
      lock->second = Value(*b);
    else
      saved.erase(lock);
  }

  WriteSource(steps, shape, item);
  WriteSaveWithDocument(steps, shape, item);

  Restore(steps, shape, saved, Prop::AlternativeText, When::Always);
  // With the aspect ratio locked, Word scales the other side along with the one written: a
  // locked picture stretched unevenly gets its scales with the lock off, then the lock.
  auto lock = saved.find(Prop::LockAspectRatio);
  bool locked = lock != saved.end() && lock->second == Value(true);
  if (locked && (saved.count(Prop::ScaleHeight) || saved.count(Prop::ScaleWidth)))
    steps.Do([&] { shape.Put(Prop::LockAspectRatio, Value(false)); });
  else
    Restore(steps, shape, saved, Prop::LockAspectRatio, When::Differs);
  Restore(steps, shape, saved, Prop::ScaleHeight, When::Differs);
  Restore(steps, shape, saved, Prop::ScaleWidth, When::Differs);
  if (locked) Restore(steps, shape, saved, Prop::LockAspectRatio, When::Differs);

  for (const RestoreStep& r : kPictureRestore) {
    Restore(steps, shape, saved, r.prop, r.when);
    if (r.clear_undo_after) ClearUndo(steps);
  }
}

class Save {
 public:
  explicit Save(Form_Main& m) : m_(m), g_(m.G), steps_(m.Word) {}

  void Run() {
    try {
      Items();
    } catch (const OperationCancelled&) {
      // Stopped by the user: what was written stays, the rest keeps its old source, and the
      // list shows the document as it now is.
      Forget();
      m_.Label_ProgressBar.SetText(kCancelledStatus);
      m_.ProgressBar_main.SetValue(0);
    } catch (const std::exception& e) {
      // Word calls fail through only in the strict regime; anything else that escapes later
      // ends the save without the message about connecting to the document.
      if (!steps_.Tolerant())
        Fail(e.what());
      else
        Forget();
      m_.Label_ProgressBar.SetText("Idle");
      m_.ProgressBar_main.SetValue(0);
    }
  }

 private:
  // After a quiet end the document may have changed under the list (a re-created picture
  // has moved into another item's recorded position), so the list is read again; when even
  // that cannot be done it is emptied, so that no later save writes by stale positions.
  void Forget() {
    steps_.UseDocument(std::nullopt);
    try {
      ReadInventory(m_);
    } catch (const std::exception&) {
      g_.ItemCount = 0;
      m_.ListView_IS.Clear();
      g_.SuppressClickEvents = false;
    }
  }

  // The document the list was read from: its name as shown and, since two open documents may
  // share a name, its full name.
  bool IsListed(const Document& doc) {
    if (m_.Text_DocumentName.Text() != doc.Name()) return false;
    return g_.DocumentFullName.empty() || doc.FullName() == g_.DocumentFullName;
  }

  void Items() {
    Document start = ActiveDocument(m_.Word);
    census_.Prepare(start.FloatingShapes().Count());
    // The user may have switched documents in Word since the list was read.
    if (!IsListed(start)) return;
    // Put back when nothing is relinked.
    bool saved = start.Saved();
    m_.Label_ProgressBar.SetText(kSavingStatus);
    m_.ProgressBar_main.SetMax(g_.ItemCount);
    census_.Take(ActiveDocument(m_.Word));

    int count = std::min(g_.ItemCount, kCapacity);
    for (current_ = 1; current_ <= count; ++current_) {
      m_.Hst.PumpEvents();
      m_.ProgressBar_main.SetValue(current_);
      // One document per item: every call of the item goes through the document fetched
      // now. Once another document is active, nothing more is written; a document that
      // cannot be fetched or named now passes this item over.
      auto doc = steps_.Read([&] { return ActiveDocument(m_.Word); });
      auto name = doc ? steps_.Read([&] {
        return g_.DocumentFullName.empty() ? doc->Name() : doc->FullName();
      })
                      : std::nullopt;
      if (name && *name != (g_.DocumentFullName.empty() ? m_.Text_DocumentName.Text()
                                                        : g_.DocumentFullName))
        break;
      if (!name) continue;
      steps_.UseDocument(*doc);
      const LinkItem& item = g_.Item(current_);
      if (item.Changed && item.Selected) One(item);
      // Relinking cannot be undone piece by piece; an item that changed nothing leaves the
      // user's undo list alone.
      if (steps_.TakeItemChanged()) ClearUndo(steps_);
      steps_.UseDocument(std::nullopt);
    }
    current_ = 0;
    RestoreStacking(steps_, census_);
    if (!steps_.AnyChanged() && saved) {
      try {
        start.SetSaved(true);
      } catch (const std::exception&) {
      }
    }
    steps_.UseDocument(std::nullopt);

    ReadInventory(m_);
    m_.Label_ProgressBar.SetText(steps_.SkippedCount() > 0 ? SkippedStatus(steps_.SkippedCount())
                                                           : std::string("Idle"));
    m_.ProgressBar_main.SetValue(0);
  }

  void One(const LinkItem& item) {
    m_.Label_ProgressBar.SetText(kSavingStatus + item.FileName);
    if (!SourceExists(item)) return;
    if (item.InLine == 0) {
      TransferFloating(steps_, census_, item);
      return;
    }
    // A sequence runs only on a shape that still is of the item's kind (a linked picture for
    // a picture item, a linked OLE object for an OLE item); a shape that cannot be fetched or
    // tested is left alone.
    bool picture = item.TypeText == "Picture";
    auto shape = steps_.Read([&] { return steps_.Doc().InlineShapes().Item(item.ShapeIndex); });
    if (!shape) return;
    auto type = steps_.Read([&] { return shape->Type(); });
    if (!type || *type != (picture ? kInlineLinkedPicture : kInlineLinkedOle)) return;
    auto link = steps_.Read([&] { return shape->Link().Type(); });
    if (!link || *link != (picture ? kLinkPicture : kLinkOle)) return;
    // The item's position may hold another link now (an item deleted or added in Word).
    auto source = steps_.Read([&] { return shape->Link().SourceFullName(); });
    if (!source) return;
    if (*source != item.ReadSource) {
      steps_.Skipped();
      return;
    }
    if (picture)
      RelinkPicture(steps_, *shape, item);
    else
      RelinkOle(steps_, *shape, item);
  }

  // As stored, or relative to the document's folder.
  bool SourceExists(const LinkItem& item) {
    if (FileExists(m_.Fs, item.SourcePath)) return true;
    auto folder = steps_.Read([&] { return steps_.Doc().Path(); });
    return folder && FileExists(m_.Fs, *folder + "\\" + item.SourcePath);
  }

  void Fail(const std::string& description) {
    std::string source = current_ >= 1 ? g_.Item(current_).SourcePath : std::string();
    m_.Hst.MessageBox(
        "An Error Occured during connecting to the Active Document Object!\r\n"
        "Try to restart your Word Application and the Ravelmend.\r\n"
        "Error: " +
            description + "\r\nItem: " + source,
        kSaveTitle, kMbOk | kMbIconCritical);
  }

  Form_Main& m_;
  Globals& g_;
  SaveSteps steps_;
  ShapeCensus census_;
  int current_ = 0;
};

}  // namespace

void RelinkOle(SaveSteps& steps, const Shape& shape, const LinkItem& item) {
  steps.EnterTolerant();
  constexpr Prop kOleCapture[] = {Prop::PictureColorType, Prop::PictureBrightness,
                                  Prop::PictureContrast};
  Saved saved = Capture(steps, shape, kOleCapture);
  WriteSource(steps, shape, item);
  WriteSaveWithDocument(steps, shape, item);
  Restore(steps, shape, saved, Prop::PictureBrightness, When::Differs);
  Restore(steps, shape, saved, Prop::PictureContrast, When::Differs);
  Restore(steps, shape, saved, Prop::PictureColorType, When::Always);
  ClearUndo(steps);
}

void SaveToDocument(Form_Main& main) {
  Save(main).Run();
}

}  // namespace ravel
