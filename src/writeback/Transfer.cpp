#include "writeback/Transfer.h"

#include <algorithm>

#include "app/Globals.h"

namespace ravel {

namespace {

Document Active(SaveSteps& steps) {
  return ActiveDocument(steps.Word());
}

Shapes Floating(SaveSteps& steps) {
  return Active(steps).FloatingShapes();
}

// What the old shape is read for, in this order.
constexpr Prop kCapture[] = {
    Prop::AlternativeText,
    Prop::Height,
    Prop::LockAnchor,
    Prop::LockAspectRatio,
    Prop::Visible,
    Prop::Width,
    Prop::WrapAllowOverlap,
    Prop::WrapDistanceBottom,
    Prop::WrapDistanceLeft,
    Prop::WrapDistanceRight,
    Prop::WrapDistanceTop,
    Prop::WrapSide,
    Prop::WrapType,
    Prop::PictureBrightness,
    Prop::PictureContrast,
    Prop::PictureCropBottom,
    Prop::PictureCropLeft,
    Prop::PictureCropRight,
    Prop::PictureCropTop,
    Prop::PictureTransparentBackground,
    Prop::RelativeHorizontalPosition,
    Prop::RelativeVerticalPosition,
    Prop::Left,
    Prop::Top,
};

// Written to the new shape after its position, in this order.
constexpr Prop kRestoreLast[] = {
    Prop::LockAnchor,       Prop::Visible,
    Prop::WrapAllowOverlap, Prop::WrapDistanceBottom,
    Prop::WrapDistanceLeft, Prop::WrapDistanceRight,
    Prop::WrapDistanceTop,  Prop::WrapSide,
    Prop::WrapType,         Prop::PictureBrightness,
    Prop::PictureContrast,  Prop::PictureCropBottom,
    Prop::PictureCropLeft,  Prop::PictureCropRight,
    Prop::PictureCropTop,   Prop::PictureTransparentBackground,
};

constexpr std::int32_t kRelativeToPage = 1;
constexpr std::int32_t kMsoFalse = 0;

class Recreation {
 public:
  Recreation(SaveSteps& steps, const Shape& old, const LinkItem& item)
      : steps_(steps), old_(old), item_(item) {}

  void Run() {
    steps_.EnterTolerant();
    for (Prop p : kCapture)
      if (auto v = steps_.Read([&] { return old_.Get(p); })) saved_[Index(p)] = *v;

    // The page-relative position is what carries over to a shape anchored elsewhere; the
    // old shape is put back as it was in case the new one cannot be added.
    steps_.Do([&] { old_.PickUp(); });
    PageRelative(old_);
    auto page_left = steps_.Read([&] { return old_.Get(Prop::Left); });
    auto page_top = steps_.Read([&] { return old_.Get(Prop::Top); });
    Put(old_, Prop::RelativeHorizontalPosition);
    Put(old_, Prop::RelativeVerticalPosition);
    steps_.Do([&] { old_.Apply(); });
    Put(old_, Prop::Left);
    Put(old_, Prop::Top);
    ClearUndo();

    // The new picture first: the old one goes only when there is a new one.
    bool added = steps_.Do([&] {
      Floating(steps_).AddPicture(item_.SourcePath, true, item_.SaveWithDocument == Flag::True);
    });
    if (!added) return;
    ClearUndo();
    steps_.Do([&] { old_.Select(); });
    steps_.Do([&] { old_.Delete(); });

    auto made = steps_.Read([&] {
      Shapes shapes = Floating(steps_);
      return shapes.Item(shapes.Count());
    });
    if (!made) return;
    const Shape& shape = *made;

    Put(shape, Prop::AlternativeText);
    // Released first, so that neither size rescales the other: a distorted picture keeps
    // its exact size.
    steps_.Do([&] { shape.Put(Prop::LockAspectRatio, Value(kMsoFalse)); });
    Put(shape, Prop::Height);
    Put(shape, Prop::Width);
    Put(shape, Prop::LockAspectRatio);
    steps_.Do([&] { shape.Apply(); });
    PageRelative(shape);
    if (page_left) steps_.Do([&] { shape.Put(Prop::Left, *page_left); });
    if (page_top) steps_.Do([&] { shape.Put(Prop::Top, *page_top); });
    Put(shape, Prop::RelativeHorizontalPosition);
    Put(shape, Prop::RelativeVerticalPosition);
    steps_.Do([&] { shape.Apply(); });
    for (Prop p : kRestoreLast) Put(shape, p);
  }

 private:
  static std::size_t Index(Prop p) { return static_cast<std::size_t>(p); }

  // Writes the captured value; a value that could not be read is not written.
  void Put(const Shape& shape, Prop p) {
    const auto& v = saved_[Index(p)];
    if (v) steps_.Do([&] { shape.Put(p, *v); });
  }

  void PageRelative(const Shape& shape) {
    steps_.Do([&] { shape.Put(Prop::RelativeHorizontalPosition, Value(kRelativeToPage)); });
    steps_.Do([&] { shape.Put(Prop::RelativeVerticalPosition, Value(kRelativeToPage)); });
  }

  void ClearUndo() {
    steps_.Do([&] { Active(steps_).UndoClear(); });
  }

  SaveSteps& steps_;
  const Shape& old_;
  const LinkItem& item_;
  std::optional<Value> saved_[static_cast<std::size_t>(Prop::WrapType) + 1];
};

}  // namespace

void ShapeCensus::Prepare(int count) {
  rows_.assign(static_cast<std::size_t>(std::max(count, 0)), CensusRow{});
}

void ShapeCensus::Take(WordApp& word) {
  // Every shape's name counts, linked or not; only linked shapes get a row.
  std::vector<std::string> names(rows_.size());
  std::vector<int> types(rows_.size());
  Shapes shapes = ActiveDocument(word).FloatingShapes();  // one collection for the census
  for (std::size_t p = 0; p < rows_.size(); ++p) {
    Shape shape = shapes.Item(static_cast<int>(p + 1));
    types[p] = shape.Type();
    names[p] = shape.Name();
  }
  for (std::size_t p = 0; p < rows_.size(); ++p) {
    if (types[p] != kShapeLinkedPicture && types[p] != kShapeLinkedOle) continue;
    CensusRow& row = rows_[p];
    row.name = names[p];
    row.type = types[p];
    row.unique = std::count(names.begin(), names.end(), names[p]) == 1 ? 1 : 0;
  }
}

const CensusRow* ShapeCensus::Row(std::int32_t index) const {
  if (index < 1 || static_cast<std::size_t>(index) > rows_.size()) return nullptr;
  return &rows_[static_cast<std::size_t>(index - 1)];
}

void TransferFloating(SaveSteps& steps, const ShapeCensus& census, const LinkItem& item) {
  const CensusRow* row = census.Row(item.ShapeIndex);
  if (row == nullptr || row->unique != 1) return;
  // The reader lists floating pictures as hidden items and OLE objects as visible ones; a
  // shape of the other kind at the item's place is not the item's.
  if ((row->type == kShapeLinkedPicture) != item.Hidden) return;

  // Names compare exactly; a name that cannot be read matches nothing. The collection is
  // fetched once for the search: each call crosses into Word.
  auto shapes = steps.Read([&] { return Floating(steps); });
  if (!shapes) return;
  auto count = steps.Read([&] { return shapes->Count(); });
  if (!count) return;
  int found = 0, matches = 0;
  for (int j = 1; j <= *count; ++j) {
    auto name = steps.Read([&] { return shapes->Item(j).Name(); });
    if (name && *name == row->name) {
      ++matches;
      found = j;
    }
  }
  if (matches != 1) return;

  auto shape = steps.Read([&] { return Floating(steps).Item(found); });
  if (!shape) return;
  // Only a shape of the kind the census saw is written to.
  auto type = steps.Read([&] { return shape->Type(); });
  if (!type || *type != row->type) return;
  if (row->type == kShapeLinkedPicture) {
    Recreation(steps, *shape, item).Run();
    return;
  }
  auto link = steps.Read([&] { return shape->Link().Type(); });
  if (link && *link == kLinkOle) RelinkOle(steps, *shape, item);
}

}  // namespace ravel
