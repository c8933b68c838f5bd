#include "writeback/Transfer.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "app/Globals.h"

namespace ravel {

namespace {

Shapes Floating(SaveSteps& steps) {
  return steps.Floating();
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
    Prop::LinkLocked,
};

// Cropping cuts the frame (measured against the picture's original size), so the crops go
// on before the size: the size written last is the size the picture ends with.
constexpr Prop kCrops[] = {Prop::PictureCropBottom, Prop::PictureCropLeft, Prop::PictureCropRight,
                           Prop::PictureCropTop};

// Written to the new shape after its position, in this order.
constexpr Prop kRestoreLast[] = {
    Prop::LockAnchor,         Prop::Visible,          Prop::WrapAllowOverlap,
    Prop::WrapDistanceBottom, Prop::WrapDistanceLeft, Prop::WrapDistanceRight,
    Prop::WrapDistanceTop,    Prop::WrapSide,         Prop::WrapType,
    Prop::PictureBrightness,  Prop::PictureContrast,  Prop::PictureTransparentBackground,
    Prop::LinkLocked,
};

constexpr std::int32_t kMsoFalse = 0;

// A picture Word has just added from a file is uncropped, at the default brightness and
// contrast, opaque, visible and with its anchor free: a captured value equal to these needs
// no call to write it.
bool NewPictureHas(Prop p, const Value& v) {
  switch (p) {
    case Prop::PictureCropBottom:
    case Prop::PictureCropLeft:
    case Prop::PictureCropRight:
    case Prop::PictureCropTop:
    case Prop::PictureTransparentBackground:
    case Prop::LockAnchor:
    case Prop::LinkLocked:
      return SameValue(v, Value(0.0));
    case Prop::PictureBrightness:
    case Prop::PictureContrast:
      return SameValue(v, Value(0.5));
    case Prop::Visible:
      return SameValue(v, Value(-1.0));
    default:
      return false;
  }
}

// Shape members the save carries by name (the newer ones fail their read in an older Word),
// with the value a picture Word has just added has: that value needs no call to write it. A
// size or position in points ends one in percent, so the percent members go on after the
// points; Flip, not a write, sets the flips.
constexpr float kRelativeNone = -999999;  // not sized or placed in percent
struct Member {
  const char* name;
  Value fresh;
};
const Member kMembers[] = {
    {"Title", Value(std::string())},
    {"HorizontalFlip", Value(0.0)},
    {"VerticalFlip", Value(0.0)},
    {"Rotation", Value(0.0)},
    {"WidthRelative", Value(kRelativeNone)},
    {"HeightRelative", Value(kRelativeNone)},
    {"LeftRelative", Value(kRelativeNone)},
    {"TopRelative", Value(kRelativeNone)},
    {"LayoutInCell", Value(-1.0)},
};
enum MemberIndex {
  kTitle,
  kHorizontalFlip,
  kVerticalFlip,
  kRotation,
  kWidthRelative,
  kHeightRelative,
  kLeftRelative,
  kTopRelative,
  kLayoutInCell,
  kMemberCount
};
// wdWrapNone and wdWrapInline: Word ignores layout in a table cell for such a shape.
constexpr std::int32_t kWrapNone = 3, kWrapBehind = 5, kWrapInline = 7;

// What a re-creation did to the document's floating shapes, for the census's model.
struct Outcome {
  bool old_removed = false;
  bool new_kept = false;
  std::optional<std::string> new_name;  // read when the new shape stays
  std::optional<int> new_position;      // its index, once its wrapping is restored
  bool at_front = false;                // or: it is the frontmost shape, its index the last
};

class Recreation {
 public:
  Recreation(SaveSteps& steps, const Shape& old, const LinkItem& item)
      : steps_(steps), old_(old), item_(item) {}

  Outcome Run(const std::string& old_name) {
    Outcome out;
    steps_.EnterTolerant();
    for (Prop p : kCapture)
      if (auto v = steps_.Read([&] { return old_.Get(p); })) saved_[Index(p)] = *v;
    CaptureMembers();
    steps_.Do([&] { old_.PickUp(); });

    // Word resolves a relative name against its own current folder: the file is named by
    // its full path, beside the document.
    std::string file = item_.SourcePath;
    if (!IsRooted(file)) {
      auto folder = steps_.Read([&] { return steps_.Doc().Path(); });
      if (!folder) return out;
      file = *folder + "\\" + file;
    }
    // A floating shape stays on its anchor's page: the new picture is anchored where the old
    // one is, so the old position, relative to the same frames, puts it where it stood.
    auto anchor = steps_.Read([&] { return old_.Anchor(); });
    // The new picture first: the old one goes only when there is a new one.
    auto add = [&](const WObjectPtr& at) {
      return steps_.Read([&] {
        return Floating(steps_).AddPicture(file, true, item_.SaveWithDocument == Flag::True, at);
      });
    };
    std::optional<Shape> made;
    if (anchor) made = add(*anchor);
    anchored_ = made.has_value();
    if (!made) {
      // Also when Word would not take the anchor it handed out: the selection on the old
      // shape anchors it there. The user's selection is put back afterwards.
      auto selection = steps_.Read([&] { return ReadSelection(steps_.Word()); });
      steps_.Do([&] { old_.Select(); });
      made = add(nullptr);
      if (selection) steps_.Do([&] { SetSelection(steps_.Word(), *selection); });
    }
    if (!made) return out;
    const Shape& shape = *made;
    // The old picture goes only once the new one is complete: stopped before that, the new
    // one goes again and the old one stays as it was.
    try {
      Restore(shape);
      if (!steps_.Do([&] { old_.Delete(); })) {
        // Never two pictures for one: the new one goes again and the item keeps its source.
        out.new_kept = !steps_.Do([&] { shape.Delete(); });
        return out;
      }
    } catch (const OperationCancelled&) {
      try {
        shape.Delete();
      } catch (const std::exception&) {
      }
      throw;
    }
    out.old_removed = out.new_kept = true;
    steps_.MarkChanged();
    // The old name is free once the old picture is gone: the new one takes it.
    if (steps_.Do([&] { shape.Object()->Put("Name", Value(old_name)); }))
      out.new_name = old_name;
    else
      out.new_name = steps_.Read([&] { return shape.Name(); });
    // Word adds a shape at the front of its layer: unless it lies behind the text, the new
    // picture is the frontmost of all, and where it stands needs no call.
    const auto& wrap = saved_[Index(Prop::WrapType)];
    out.at_front = wrap && !SameValue(*wrap, Value(kWrapBehind));
    if (!out.at_front) out.new_position = steps_.Read([&] { return shape.ZOrderPosition(); });
    return out;
  }

 private:
  static std::size_t Index(Prop p) { return static_cast<std::size_t>(p); }
  static bool IsRooted(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
  }

  // What the old shape has of the members carried by name, read only where they can matter:
  // the frame of a percent size only with a size in percent, layout in a table cell only
  // where Word heeds it, the transparent colour only with a transparent background, the
  // hyperlink only when the document has any. A member Word does not know fails its read.
  void CaptureMembers() {
    auto raw = [&](const char* name) {
      return steps_.Read([&] { return old_.Object()->Get(name); });
    };
    const auto& wrap = saved_[Index(Prop::WrapType)];
    auto tables = steps_.Read([&] { return steps_.AnyTables(); });
    bool heeded =
        (!tables || *tables) &&
        (!wrap || (!SameValue(*wrap, Value(kWrapNone)) && !SameValue(*wrap, Value(kWrapInline))));
    for (int k = 0; k < kMemberCount; ++k)
      if (k != kLayoutInCell || heeded) members_[k] = raw(kMembers[k].name);
    if (Differs(kWidthRelative)) horizontal_size_ = raw("RelativeHorizontalSize");
    if (Differs(kHeightRelative)) vertical_size_ = raw("RelativeVerticalSize");
    const auto& clear = saved_[Index(Prop::PictureTransparentBackground)];
    if (clear && !SameValue(*clear, Value(0.0)))
      transparency_ = steps_.Read(
          [&] { return AsObject(old_.Object()->Get("PictureFormat"))->Get("TransparencyColor"); });
    auto any = steps_.Read([&] { return steps_.AnyHyperlinks(); });
    if (any && !*any) return;
    // Word fails the read of a shape's hyperlink when it has none.
    auto link = steps_.Read([&] { return AsObject(old_.Object()->Get("Hyperlink")); });
    if (!link) return;
    for (std::size_t k = 0; k < 3; ++k)
      if (auto v = steps_.Read([&] { return (*link)->Get(kHyperlinkParts[k]); }))
        hyperlink_[k] = *v;
      else
        return;
    has_hyperlink_ = true;
  }

  bool Differs(int k) const { return members_[k] && !SameValue(*members_[k], kMembers[k].fresh); }
  void PutMember(const Shape& shape, int k) {
    if (Differs(k)) steps_.Do([&] { shape.Object()->Put(kMembers[k].name, *members_[k]); });
  }

  // A picture Word adds keeps its proportions: given the old height, Word sizes the width to
  // match, which is the old width unless the old picture was distorted or unlocked. Else the
  // lock is released first, so that neither size rescales the other, and put back after.
  void RestoreSize(const Shape& shape) {
    const auto& lock = saved_[Index(Prop::LockAspectRatio)];
    const auto& height = saved_[Index(Prop::Height)];
    const auto& width = saved_[Index(Prop::Width)];
    bool locked = lock && !SameValue(*lock, Value(0.0));
    bool tall = false;  // the height is written already
    if (locked && height && width) {
      tall = steps_.Do([&] { shape.Put(Prop::Height, *height); });
      auto now = tall ? steps_.Read([&] { return shape.Get(Prop::Width); }) : std::nullopt;
      if (now && std::abs(AsNumber(*now) - AsNumber(*width)) < 0.01) return;
    }
    bool released = steps_.Do([&] { shape.Put(Prop::LockAspectRatio, Value(kMsoFalse)); });
    if (!tall) Put(shape, Prop::Height);
    Put(shape, Prop::Width);
    if (!released || locked) Put(shape, Prop::LockAspectRatio);
  }

  void Restore(const Shape& shape) {
    Put(shape, Prop::AlternativeText);
    PutMember(shape, kTitle);
    for (Prop p : kCrops) Put(shape, p);
    RestoreSize(shape);
    steps_.Do([&] { shape.Apply(); });
    // A size in percent counts from its frame.
    if (Differs(kWidthRelative)) {
      if (horizontal_size_)
        steps_.Do([&] { shape.Object()->Put("RelativeHorizontalSize", *horizontal_size_); });
      PutMember(shape, kWidthRelative);
    }
    if (Differs(kHeightRelative)) {
      if (vertical_size_)
        steps_.Do([&] { shape.Object()->Put("RelativeVerticalSize", *vertical_size_); });
      PutMember(shape, kHeightRelative);
    }
    // Word turns the rotation over with each flip: the flips first, then the rotation.
    for (int k : {kHorizontalFlip, kVerticalFlip})
      if (Differs(k)) {
        std::int32_t command = k == kHorizontalFlip ? 0 : 1;  // msoFlipHorizontal, msoFlipVertical
        steps_.Do([&] { shape.Object()->Call("Flip", {Value(command)}); });
      }
    PutMember(shape, kRotation);
    // The frames first: Word keeps a shape in place when they change, so the position
    // written after them counts from them.
    for (Prop p :
         {Prop::RelativeHorizontalPosition, Prop::RelativeVerticalPosition, Prop::Left, Prop::Top})
      Put(shape, p);
    PutMember(shape, kLeftRelative);
    PutMember(shape, kTopRelative);
    for (Prop p : kRestoreLast) Put(shape, p);
    // After the transparent background and the wrapping, which Word needs for these to count.
    if (transparency_)
      steps_.Do([&] {
        AsObject(shape.Object()->Get("PictureFormat"))->Put("TransparencyColor", *transparency_);
      });
    PutMember(shape, kLayoutInCell);
    if (has_hyperlink_)
      steps_.Do([&] {
        steps_.Hyperlinks()->Call(
            "Add", {Value(shape.Object()), hyperlink_[0], hyperlink_[1], hyperlink_[2]});
      });
  }

  // Writes the captured value; a value that could not be read, or that the new picture has
  // already, is not written.
  void Put(const Shape& shape, Prop p) {
    const auto& v = saved_[Index(p)];
    if (v && !NewPictureHas(p, *v) && !(anchored_ && PlacedByAnchor(p, *v)))
      steps_.Do([&] { shape.Put(p, *v); });
  }
  // A picture added at an anchor is placed relative to it: to its column across and to its
  // paragraph down.
  static bool PlacedByAnchor(Prop p, const Value& v) {
    return (p == Prop::RelativeHorizontalPosition || p == Prop::RelativeVerticalPosition) &&
           SameValue(
               v, Value(2.0));  // wdRelativeHorizontalPositionColumn, ...VerticalPositionParagraph
  }

  static constexpr const char* kHyperlinkParts[3] = {"Address", "SubAddress", "ScreenTip"};

  SaveSteps& steps_;
  const Shape& old_;
  const LinkItem& item_;
  std::optional<Value> saved_[kPropCount];
  std::optional<Value> members_[kMemberCount];
  std::optional<Value> horizontal_size_, vertical_size_, transparency_;
  Value hyperlink_[3];
  bool has_hyperlink_ = false;
  bool anchored_ = false;  // the new picture was added at the old one's anchor
};

// The shape named `name`, found at the position the census's model predicts (checked by the
// count and the name there) or, when that check fails, by walking all shapes, which renews
// the model. Nothing when no shape or several have the name now.
std::optional<std::pair<int, Shape>> Find(SaveSteps& steps, ShapeCensus& census,
                                          const std::string& name) {
  auto shapes = steps.Read([&] { return Floating(steps); });
  if (!shapes) return std::nullopt;
  auto count = steps.Read([&] { return shapes->Count(); });
  if (!count) return std::nullopt;
  if (census.Known() && static_cast<int>(census.Names().size()) == *count) {
    if (int p = census.PositionOf(name); p > 0) {
      auto shape = steps.Read([&] { return shapes->Item(p); });
      auto now = shape ? steps.Read([&] { return shape->Name(); }) : std::nullopt;
      if (now && *now == name) return std::pair(p, *shape);
    }
  }
  // Names compare exactly; a name that cannot be read matches nothing.
  std::vector<std::string> names(static_cast<std::size_t>(std::max(*count, 0)));
  bool all = true;
  for (int j = 1; j <= *count; ++j) {
    auto now = steps.Read([&] { return shapes->Item(j).Name(); });
    if (now)
      names[static_cast<std::size_t>(j - 1)] = *now;
    else
      all = false;
  }
  census.SetNames(std::move(names), all);
  int found = static_cast<int>(std::count(census.Names().begin(), census.Names().end(), name));
  if (found != 1) return std::nullopt;
  int p = static_cast<int>(std::find(census.Names().begin(), census.Names().end(), name) -
                           census.Names().begin()) +
          1;
  auto shape = steps.Read([&] { return shapes->Item(p); });
  if (!shape) return std::nullopt;
  return std::pair(p, *shape);
}

}  // namespace

void ShapeCensus::Prepare(int count) {
  rows_.assign(static_cast<std::size_t>(std::max(count, 0)), CensusRow{});
}

void ShapeCensus::Take(const Document& doc) {
  // Every shape's name counts, linked or not; only linked shapes get a row.
  std::vector<std::string> names(rows_.size());
  std::vector<int> types(rows_.size());
  Shapes shapes = doc.FloatingShapes();  // one collection for the census
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
  original_ = names;
  replaced_.clear();
  SetNames(std::move(names), true);
}

void ShapeCensus::Replaced(const std::string& old_name, const std::string& new_name) {
  replaced_.emplace_back(old_name, new_name);
}

void ShapeCensus::SetNames(std::vector<std::string> names, bool known) {
  names_ = std::move(names);
  known_ = known;
}

int ShapeCensus::PositionOf(const std::string& name) const {
  int found = 0;
  for (std::size_t k = 0; k < names_.size(); ++k) {
    if (names_[k] != name) continue;
    if (found != 0) return 0;
    found = static_cast<int>(k) + 1;
  }
  return found;
}

void ShapeCensus::Removed(int position) {
  if (position < 1 || static_cast<std::size_t>(position) > names_.size()) {
    known_ = false;
    return;
  }
  names_.erase(names_.begin() + (position - 1));
}

void ShapeCensus::Added(const std::string& name, int position) {
  if (position < 1 || static_cast<std::size_t>(position) > names_.size() + 1) {
    known_ = false;
    return;
  }
  names_.insert(names_.begin() + (position - 1), name);
}

const CensusRow* ShapeCensus::Row(std::int32_t index) const {
  if (index < 1 || static_cast<std::size_t>(index) > rows_.size()) return nullptr;
  return &rows_[static_cast<std::size_t>(index - 1)];
}

void TransferFloating(SaveSteps& steps, ShapeCensus& census, const LinkItem& item) {
  const CensusRow* row = census.Row(item.ShapeIndex);
  if (row == nullptr || row->unique != 1) return;
  // The reader lists floating pictures as hidden items and OLE objects as visible ones; a
  // shape of the other kind at the item's place is not the item's.
  if ((row->type == kShapeLinkedPicture) != item.Hidden) return;

  auto found = Find(steps, census, row->name);
  if (!found) return;
  auto& [position, shape] = *found;
  // Only a shape that still holds the link the list shows is written to (one that has none
  // now fails the read).
  auto source = steps.Read([&] { return shape.Link().SourceFullName(); });
  if (!source) return;
  if (*source != item.ReadSource) {
    steps.Skipped();
    return;
  }
  if (row->type == kShapeLinkedPicture) {
    Outcome out = Recreation(steps, shape, item).Run(row->name);
    if (out.old_removed) census.Removed(position);
    if (out.new_kept) {
      std::optional<int> at = out.new_position;
      if (!at && out.at_front && census.Known()) at = static_cast<int>(census.Names().size()) + 1;
      if (out.new_name && at)
        census.Added(*out.new_name, *at);
      else
        census.Lost();
    }
    if (out.old_removed) {
      if (out.new_name)
        census.Replaced(row->name, *out.new_name);
      else
        census.Lost();
    }
    return;
  }
  auto link = steps.Read([&] { return shape.Link().Type(); });
  if (link && *link == kLinkOle) RelinkOle(steps, shape, item);
}

}  // namespace ravel

namespace ravel {

void RestoreStacking(SaveSteps& steps, const ShapeCensus& census) {
  if (census.Replacements().empty()) return;
  auto shapes = steps.Read([&] { return Floating(steps); });
  if (!shapes) return;
  // The shapes as they stand now, by name: the census's model, or read when it lost track.
  std::vector<std::string> now;
  if (census.Known()) {
    now = census.Names();
  } else {
    auto count = steps.Read([&] { return shapes->Count(); });
    if (!count) return;
    for (int j = 1; j <= *count; ++j) {
      auto name = steps.Read([&] { return shapes->Item(j).Name(); });
      if (!name) return;
      now.push_back(*name);
    }
  }
  // The order wanted: the one at the start, each re-created picture under its new name.
  std::vector<std::string> want = census.Original();
  for (const auto& [old_name, new_name] : census.Replacements())
    std::replace(want.begin(), want.end(), old_name, new_name);
  if (want.size() != now.size() || want.empty()) return;
  // Each shape now, by its place in the wanted order (shapes of one name keep their order).
  std::map<std::string, std::vector<std::size_t>> places;
  for (std::size_t k = 0; k < want.size(); ++k) places[want[k]].push_back(k);
  std::vector<std::size_t> order;  // wanted places, bottom to top, as the shapes stand now
  for (const std::string& name : now) {
    auto& free = places[name];
    if (free.empty()) return;  // shapes came or went in Word meanwhile: leave them
    order.push_back(free.front());
    free.erase(free.begin());
  }
  // Either the shapes wanted lowest that already stand in order stay and every one above
  // them is brought to the front in the wanted order, or the highest stay and every one
  // below them is sent to the back, the highest first: whichever moves fewer shapes.
  std::vector<std::size_t> at(order.size());
  for (std::size_t k = 0; k < order.size(); ++k) at[order[k]] = k;
  std::size_t low = 1, high = 1, n = at.size();
  while (low < n && at[low] > at[low - 1]) ++low;
  while (high < n && at[n - 1 - high] < at[n - high]) ++high;
  bool to_front = n - low <= n - high;
  for (std::size_t step = 0; step < n - (to_front ? low : high); ++step) {
    std::size_t r = to_front ? low + step : n - 1 - high - step;
    std::size_t k =
        static_cast<std::size_t>(std::find(order.begin(), order.end(), r) - order.begin());
    // A shape whose name is its own is found by it; another by its place, which each move
    // changes.
    bool named = std::count(want.begin(), want.end(), want[r]) == 1;
    auto shape = steps.Read(
        [&] { return named ? shapes->ItemNamed(want[r]) : shapes->Item(static_cast<int>(k) + 1); });
    if (!shape || !steps.Do([&] { shape->ZOrder(to_front ? kBringToFront : kSendToBack); })) return;
    if (named) continue;
    // A shape behind the text moves within its own layer only.
    auto to = steps.Read([&] { return shape->ZOrderPosition(); });
    if (!to || *to < 1 || static_cast<std::size_t>(*to) > order.size()) return;
    order.erase(order.begin() + static_cast<std::ptrdiff_t>(k));
    order.insert(order.begin() + (*to - 1), r);
  }
}

}  // namespace ravel
