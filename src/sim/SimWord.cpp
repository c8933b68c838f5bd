// The stand-in's object model: application, documents, shape collections and shapes with
// Word's members, defaults and errors. The JSON side is in SimWordFixture.cpp.
#include "sim/SimWord.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace ravel::sim {

const char* const kNoDocumentOpen = "This command is not available because no document is open.";
const char* const kNoSuchMember = "The requested member of the collection does not exist.";
const char* const kObjectDeleted = "Object has been deleted.";
const char* const kInvalidFileName = "This is not a valid file name.";
const char* const kUnreadablePicture = "The graphics filter was unable to convert this file.";

namespace {

// Word's errors reach automation clients as 0x800A0000 plus Word's error number.
constexpr std::int32_t kErrNoDocument = -2146824040;        // 4248
constexpr std::int32_t kErrNoSuchMember = -2146822347;      // 5941
constexpr std::int32_t kErrDeleted = -2146822463;           // 5825
constexpr std::int32_t kErrFileName = -2146823136;          // 5152
constexpr std::int32_t kErrUnreadable = -2146823316;        // 4972
constexpr std::int32_t kErrParamNotOptional = -2147352561;  // DISP_E_PARAMNOTOPTIONAL
constexpr std::int32_t kErrBadParamCount = -2147352562;     // DISP_E_BADPARAMCOUNT
constexpr std::int32_t kErrTypeMismatch = -2147352571;      // DISP_E_TYPEMISMATCH
constexpr std::int32_t kErrWrongStory = -2146822414;        // a range of another story
constexpr int kWrapBehind = 5;                              // wdWrapBehind
constexpr int kWrapNone = 3;                                // wdWrapNone: in front of the text
constexpr int kWrapInline = 7;                              // wdWrapInline
// WidthRelative, HeightRelative, LeftRelative, TopRelative of a shape that is not sized or
// placed in percent (wdShapeSizeRelativeNone, wdShapePositionRelativeNone).
constexpr float kRelativeNone = -999999;

constexpr int kInline = 0;
constexpr int kFloating = 1;
const char* const kCollectionName[2] = {"InlineShapes", "Shapes"};

bool SameName(std::string_view a, std::string_view b) {
  NoCaseLess less;
  return !less(a, b) && !less(b, a);
}

Value L(int v) {
  return Value(std::int32_t{v});
}
Value S(float v) {
  return Value(v);
}
Value T(const char* v) {
  return Value(std::string(v));
}

bool Given(const std::vector<Value>& args, std::size_t i) {
  return i < args.size() && !std::holds_alternative<std::monostate>(args[i]);
}

// Shape types as Word numbers them (WdInlineShapeType and MsoShapeType).
bool IsLinkedType(bool floating, int type) {
  return floating ? (type == 10 || type == 11) : (type == 2 || type == 4);
}
bool IsOleType(bool floating, int type) {
  return floating ? (type == 7 || type == 10 || type == 12) : (type == 1 || type == 2 || type == 5);
}
bool IsPictureType(bool floating, int type) {
  return floating ? (type == 11 || type == 13) : (type == 3 || type == 4);
}
bool HasPictureFormat(bool floating, int type) {
  return !floating || IsPictureType(true, type) || type == 7 || type == 10;
}

// Word's defaults for a freshly loaded picture's adjustments.
void SetPictureDefaults(SimObject& pf) {
  pf.Set("ColorType", L(1));  // msoPictureAutomatic
  pf.Set("Brightness", S(0.5f));
  pf.Set("Contrast", S(0.5f));
  pf.Set("CropBottom", S(0));
  pf.Set("CropLeft", S(0));
  pf.Set("CropRight", S(0));
  pf.Set("CropTop", S(0));
  pf.Set("TransparentBackground", L(0));
  pf.Set("TransparencyColor", L(0xFFFFFF));
}

std::string NameOfPath(const std::string& full) {
  auto k = full.find_last_of("\\/");
  return k == std::string::npos ? full : full.substr(k + 1);
}
std::string FolderOfPath(const std::string& full) {
  auto k = full.find_last_of("\\/");
  return k == std::string::npos ? std::string() : full.substr(0, k);
}

SimObjectPtr AsSim(const Value& v) {
  if (auto* o = std::get_if<WObjectPtr>(&v)) return std::dynamic_pointer_cast<SimObject>(*o);
  return nullptr;
}

// A part's label follows its shape's.
void Relabel(SimObject& obj, const std::string& label) {
  obj.SetLabel(label);
  for (const auto& [name, v] : obj.Props())
    if (auto part = AsSim(v)) Relabel(*part, label + "." + name);
}

int TrailingNumber(const std::string& name) {
  std::size_t k = name.size();
  while (k > 0 && std::isdigit(static_cast<unsigned char>(name[k - 1]))) --k;
  if (k == name.size() || name.size() - k > 9) return 0;
  return std::stoi(name.substr(k));
}

const char* DefaultNameStem(int type) {
  switch (type) {
    case 11:
    case 13:
      return "Picture";
    case 7:
    case 10:
    case 12:
      return "Object";
    case 17:
      return "Text Box";
    default:
      return "AutoShape";
  }
}

}  // namespace

struct SimWord::State {
  struct Doc {
    SimObjectPtr obj;
    std::vector<SimParagraph> paragraphs{SimParagraph{}};
    int selection_paragraph = 1;  // where the insertion point is
    SimObjectPtr coll[2];
    std::vector<SimObjectPtr> shapes[2];
    int undo_clears = 0;
    int tables = 0;   // tables in the text, for Tables.Count
    int last_id = 0;  // Word numbers default shape names across the document
    std::weak_ptr<SimObject> selection;
  };

  std::shared_ptr<SimContext> ctx;
  std::vector<Doc> docs;
  int active = 0;
  std::function<bool(const std::string&)> exists;
  std::function<bool(const std::string&)> readable;
  bool relink_resets = true;
  int new_picture_wrap = 3;  // in front of the text
  // Word's current folder, against which it resolves a relative file name.
  std::string current_folder = "C:\\Users\\User\\Documents";
  // What PickUp copied: member paths below the shape with their values.
  std::vector<std::pair<std::string, Value>> picked_up;

  Doc& DocAt(int d) { return docs.at(static_cast<std::size_t>(d - 1)); }
  std::string ShapeLabel(int d, int f, std::size_t pos) const {
    return "Documents(" + std::to_string(d) + ")." + kCollectionName[f] + "(" +
           std::to_string(pos + 1) + ")";
  }
};

namespace {

using State = SimWord::State;
using WeakState = std::weak_ptr<State>;

// Closures hold the state weakly: objects a client keeps after the stand-in is gone answer
// with the error a disconnected server gives instead of touching freed memory.
std::shared_ptr<State> Lock(const WeakState& w) {
  auto st = w.lock();
  if (!st) throw WordError("The object invoked has disconnected from its clients.", -2147417848);
  return st;
}

// Every member of a deleted shape fails as Word's do. Delete itself is left in place (it is
// running) and fails by finding the shape in no collection.
void MarkDeleted(SimObject& s) {
  std::vector<std::string> names;
  for (const auto& [name, v] : s.Props()) names.push_back(name);
  for (const char* m : {"Select", "PickUp", "Apply", "Anchor", "ZOrderPosition", "ZOrder", "Flip"})
    names.emplace_back(m);
  auto fail = [](SimObject&, const std::vector<Value>&) -> Value {
    throw WordError(kObjectDeleted, kErrDeleted);
  };
  for (const std::string& n : names) {
    s.Erase(n);
    s.Define(n, fail);
  }
}

// The members PickUp and Apply carry: the shape's fill, line and shadow. Size, position,
// wrapping and picture adjustments are not carried.
const char* const kCarriedParts[] = {"Fill", "Line", "Shadow"};

void ResetAfterReload(SimObject& shape, bool floating, int link_type) {
  if (shape.Has("PictureFormat"))
    if (auto pf = AsSim(shape.At("PictureFormat"))) SetPictureDefaults(*pf);
  if (floating || link_type != 1) return;
  shape.Set("AlternativeText", T(""));
  shape.Set("LockAspectRatio", L(-1));
  shape.Set("ScaleHeight", S(100));
  shape.Set("ScaleWidth", S(100));
  // The picture comes back at its own size, uncropped.
  for (const char* side : {"Height", "Width"}) {
    std::string original = std::string("@Original") + side;
    if (shape.Has(original)) shape.Set(side, shape.At(original));
  }
}

// Crops are measured against the picture's original size and cut off the displayed picture:
// the frame shrinks or grows by the cropped amount at the picture's current scale.
void CropHook(const std::weak_ptr<SimObject>& wshape, SimObject& pf, std::string_view member,
              const Value& old, const Value& v) {
  bool vertical = SameName(member, "CropTop") || SameName(member, "CropBottom");
  bool horizontal = SameName(member, "CropLeft") || SameName(member, "CropRight");
  auto shape = wshape.lock();
  if ((!vertical && !horizontal) || !shape) return;
  const char* size = vertical ? "Height" : "Width";
  std::string original = std::string("@Original") + size;
  if (!shape->Has(size) || !shape->Has(original)) return;
  const char* first = vertical ? "CropTop" : "CropLeft";
  const char* other = SameName(member, first) ? (vertical ? "CropBottom" : "CropRight") : first;
  double uncut = AsNumber(shape->At(original)) - AsNumber(pf.At(other));
  double before = uncut - AsNumber(old), after = uncut - AsNumber(v);
  if (before <= 0) return;
  double shown = AsNumber(shape->At(size)) * std::max(after, 0.0) / before;
  shape->Set(size, S(static_cast<float>(shown)));
}

SimObjectPtr NewPart(const std::shared_ptr<State>& st, const SimObjectPtr& shape,
                     const std::string& name) {
  const char* canonical = nullptr;
  for (const char* n : {"LinkFormat", "OLEFormat", "PictureFormat", "WrapFormat", "Fill", "Line",
                        "Shadow", "Hyperlink"})
    if (SameName(n, name)) canonical = n;
  if (canonical == nullptr) return nullptr;
  std::string part_name = canonical;
  auto part = std::make_shared<SimObject>(st->ctx, shape->Label() + "." + part_name);
  int type = shape->Has("Type") ? AsLong(shape->At("Type")) : 0;
  bool floating = shape->Has("Name");  // only floating shapes have names in Word

  if (part_name == "LinkFormat") {
    part->Set("Type", L(IsOleType(floating, type) ? 0 : 1));
    part->Set("SourceFullName", T(""));
    part->Set("SourceName", T(""));
    part->Set("SourcePath", T(""));
    // SavePictureWithDocument works only for linked pictures: an OLE link has no such member.
    if (!IsOleType(floating, type)) part->Set("SavePictureWithDocument", Value(true));
    part->Set("Locked", Value(false));
    part->Set("AutoUpdate", Value(false));
    part->Define("Update", [](SimObject&, const std::vector<Value>&) { return Value(); });
    std::weak_ptr<SimObject> wshape = shape;
    WeakState wst = st;
    part->Define("BreakLink", [wshape, floating](SimObject&, const std::vector<Value>&) {
      if (auto s = wshape.lock()) {
        bool ole = IsOleType(floating, AsLong(s->At("Type")));
        s->Set("Type", L(floating ? (ole ? 7 : 13) : (ole ? 1 : 3)));
        s->Erase("LinkFormat");
      }
      return Value();
    });
    // Word rewrites the name and folder from the full path, and relinking reloads the
    // picture.
    part->OnPut([wshape, wst, floating](SimObject& link, std::string_view member, const Value&,
                                        const Value& v) {
      if (!SameName(member, "SourceFullName")) return;
      std::string full = AsText(v);
      link.Set("SourceName", Value(NameOfPath(full)));
      link.Set("SourcePath", Value(FolderOfPath(full)));
      auto st2 = wst.lock();
      auto s = wshape.lock();
      if (st2 && s && st2->relink_resets) ResetAfterReload(*s, floating, AsLong(link.At("Type")));
    });
  } else if (part_name == "OLEFormat") {
    part->Set("ClassType", T("Package"));
    part->Set("ProgID", T("Package"));
  } else if (part_name == "PictureFormat") {
    SetPictureDefaults(*part);
    std::weak_ptr<SimObject> wshape = shape;
    part->OnPut([wshape](SimObject& pf, std::string_view member, const Value& old, const Value& v) {
      CropHook(wshape, pf, member, old, v);
      // The transparent colour takes effect only on a picture with a transparent background.
      if (SameName(member, "TransparencyColor") && AsLong(pf.At("TransparentBackground")) == 0)
        pf.Set("TransparencyColor", old);
    });
  } else if (part_name == "WrapFormat") {
    part->Set("AllowOverlap", L(-1));
    part->Set("DistanceBottom", S(0));
    part->Set("DistanceLeft", S(9));
    part->Set("DistanceRight", S(9));
    part->Set("DistanceTop", S(0));
    part->Set("Side", L(0));  // wdWrapBoth
    part->Set("Type", L(3));  // wdWrapNone: in front of the text
  } else if (part_name == "Hyperlink") {
    part->Set("Address", T(""));
    part->Set("SubAddress", T(""));
    part->Set("ScreenTip", T(""));
  } else if (part_name == "Fill") {
    part->Set("Visible", L(0));
    part->Set("ForeColor", L(0xFFFFFF));
    part->Set("Transparency", S(0));
  } else if (part_name == "Line") {
    part->Set("Visible", L(0));
    part->Set("ForeColor", L(0));
    part->Set("Weight", S(0.75f));
    part->Set("DashStyle", L(1));  // msoLineSolid
  } else {                         // Shadow
    part->Set("Visible", L(0));
    part->Set("OffsetX", S(0));
    part->Set("OffsetY", S(0));
  }
  shape->Set(part_name, Value(WObjectPtr(part)));
  return part;
}

// Where Left and Top count from, by relative-position kind: the page's edge, the margin, or
// the shape's anchor (its column or character, its paragraph or line), kept in the shape's
// "@" members. Unknown kinds count from the margin.
constexpr float kMargin = 72;
float OriginOf(const SimObject& s, bool horizontal, int kind) {
  if (kind == 1) return 0;
  const char* anchor = nullptr;
  if (kind == 2) anchor = horizontal ? "@ColumnLeft" : "@ParagraphTop";
  if (kind == 3) anchor = horizontal ? "@CharacterLeft" : "@LineTop";
  if (anchor != nullptr && s.Has(anchor)) return static_cast<float>(AsNumber(s.At(anchor)));
  return kMargin;
}

// Word keeps a floating shape where it is on the page when its relative-position kind
// changes, so Left or Top changes instead; and with the aspect ratio locked, a new height
// scales the width (and the other way round). A size or position in points replaces one in
// percent. The flips are read-only; layout in a table cell takes effect only on a shape that
// the text wraps around.
void ShapePutHook(SimObject& s, std::string_view member, const Value& old, const Value& v) {
  for (const char* flip : {"HorizontalFlip", "VerticalFlip"})
    if (SameName(member, flip)) {
      s.Set(flip, old);
      ThrowNoMember(member);
    }
  if (SameName(member, "LayoutInCell") && s.Has("WrapFormat")) {
    auto wf = AsSim(s.At("WrapFormat"));
    int wrap = wf ? AsLong(wf->At("Type")) : kWrapNone;
    if (wrap == kWrapNone || wrap == kWrapInline) s.Set("LayoutInCell", old);
  }
  const char* const absolute[][2] = {{"Width", "WidthRelative"},
                                     {"Height", "HeightRelative"},
                                     {"Left", "LeftRelative"},
                                     {"Top", "TopRelative"}};
  for (const auto& [points, percent] : absolute)
    if (SameName(member, points) && s.Has(percent)) s.Set(percent, S(kRelativeNone));
  auto scale_other = [&](const char* other) {
    if (!s.Has("LockAspectRatio") || AsLong(s.At("LockAspectRatio")) == 0) return;
    double before = AsNumber(old), after = AsNumber(v);
    if (before == 0) return;
    s.Set(other, S(static_cast<float>(AsNumber(s.At(other)) * after / before)));
  };
  auto move_origin = [&](bool horizontal) {
    const char* pos = horizontal ? "Left" : "Top";
    if (!s.Has(pos)) return;
    float shift = OriginOf(s, horizontal, AsLong(old)) - OriginOf(s, horizontal, AsLong(v));
    s.Set(pos, S(static_cast<float>(AsNumber(s.At(pos))) + shift));
  };
  // The lock holds for the scales of an in-line shape as for its sizes.
  if (SameName(member, "Height"))
    scale_other("Width");
  else if (SameName(member, "Width"))
    scale_other("Height");
  else if (SameName(member, "ScaleHeight"))
    scale_other("ScaleWidth");
  else if (SameName(member, "ScaleWidth"))
    scale_other("ScaleHeight");
  else if (SameName(member, "RelativeHorizontalPosition"))
    move_origin(true);
  else if (SameName(member, "RelativeVerticalPosition"))
    move_origin(false);
}

SimObjectPtr NewShape(const std::shared_ptr<State>& st, bool floating, int type) {
  auto s = std::make_shared<SimObject>(st->ctx, std::string(floating ? "Shape" : "InlineShape"));
  s->Set("Type", L(type));
  if (floating) s->Set("Name", T(""));
  s->Set("AlternativeText", T(""));
  s->Set("Title", T(""));
  s->Set("LockAspectRatio", L(IsPictureType(floating, type) || !floating ? -1 : 0));
  s->Set("Height", S(36));
  s->Set("Width", S(48));
  s->Set("@OriginalHeight", S(36));
  s->Set("@OriginalWidth", S(48));
  if (!floating) {
    s->Set("ScaleHeight", S(100));
    s->Set("ScaleWidth", S(100));
  } else {
    s->Set("Left", S(0));
    s->Set("Top", S(0));
    s->Set("LockAnchor", L(0));
    s->Set("Visible", L(-1));
    s->Set("RelativeHorizontalPosition", L(2));  // column
    s->Set("RelativeVerticalPosition", L(2));    // paragraph
    s->Set("Rotation", S(0));
    s->Set("HorizontalFlip", L(0));
    s->Set("VerticalFlip", L(0));
    s->Set("RelativeHorizontalSize", L(0));  // the margin
    s->Set("RelativeVerticalSize", L(0));
    for (const char* percent : {"WidthRelative", "HeightRelative", "LeftRelative", "TopRelative"})
      s->Set(percent, S(kRelativeNone));
    s->Set("LayoutInCell", L(-1));
    for (const char* anchor : {"@ColumnLeft", "@CharacterLeft", "@ParagraphTop", "@LineTop"})
      s->Set(anchor, S(kMargin));
    s->Set("@Paragraph", L(1));
    NewPart(st, s, "WrapFormat");
    for (const char* p : kCarriedParts) NewPart(st, s, p);
  }
  if (HasPictureFormat(floating, type)) NewPart(st, s, "PictureFormat");
  if (IsLinkedType(floating, type)) NewPart(st, s, "LinkFormat");
  if (IsOleType(floating, type)) NewPart(st, s, "OLEFormat");
  s->OnPut(ShapePutHook);
  return s;
}

// Anchors a floating shape in paragraph `k`: the shape is on that paragraph's page, and the
// frames its column, character, paragraph and line kinds count from are the paragraph's.
void AnchorAt(SimObject& s, const SimParagraph& p, int k) {
  s.Set("@Paragraph", L(k));
  s.Set("@ColumnLeft", S(p.column_left));
  s.Set("@CharacterLeft", S(p.column_left));
  s.Set("@ParagraphTop", S(p.top));
  s.Set("@LineTop", S(p.top));
}

// Shapes behind the text lie below it in the z-order, so they come first in the collection;
// a shape goes to the top of its layer.
bool IsBehind(const SimObject& s) {
  if (!s.Has("WrapFormat")) return false;
  auto wf = AsSim(s.At("WrapFormat"));
  return wf && wf->Has("Type") && AsLong(wf->At("Type")) == kWrapBehind;
}
std::size_t TopOfLayer(const std::vector<SimObjectPtr>& v, bool behind) {
  if (!behind) return v.size();
  std::size_t k = 0;
  while (k < v.size() && IsBehind(*v[k])) ++k;
  return k;
}

void RelabelFrom(State& st, int d, int f, std::size_t from) {
  auto& v = st.DocAt(d).shapes[f];
  for (std::size_t k = from; k < v.size(); ++k) Relabel(*v[k], st.ShapeLabel(d, f, k));
}

// Position of `self` in its collection, or npos once it has left it.
std::size_t PositionOf(State::Doc& doc, int f, const SimObject& self) {
  auto& v = doc.shapes[f];
  for (std::size_t k = 0; k < v.size(); ++k)
    if (v[k].get() == &self) return k;
  return std::string::npos;
}

void DefineShapeMethods(const std::shared_ptr<State>& st, int d, int f, SimObject& s) {
  WeakState wst = st;
  s.Define("Select", [wst, d](SimObject& self, const std::vector<Value>&) {
    auto st2 = Lock(wst);
    st2->DocAt(d).selection = self.shared_from_this();
    if (self.Has("@Paragraph")) st2->DocAt(d).selection_paragraph = AsLong(self.At("@Paragraph"));
    return Value();
  });
  s.Define("Delete", [wst, d, f](SimObject& self, const std::vector<Value>&) {
    auto st2 = Lock(wst);
    State::Doc& doc = st2->DocAt(d);
    std::size_t pos = PositionOf(doc, f, self);
    if (pos == std::string::npos) throw WordError(kObjectDeleted, kErrDeleted);
    auto keep = doc.shapes[f][pos];  // `self` lives on until the end of this call
    doc.shapes[f].erase(doc.shapes[f].begin() + static_cast<std::ptrdiff_t>(pos));
    for (std::size_t k = pos; k < doc.shapes[f].size(); ++k)
      Relabel(*doc.shapes[f][k], st2->ShapeLabel(d, f, k));
    if (doc.selection.lock().get() == &self) doc.selection.reset();
    MarkDeleted(self);
    return Value();
  });
  if (f != kFloating) return;
  // A new Range each time, over the anchoring paragraph: it lives on after the shape.
  s.Define("Anchor", [wst, d](SimObject& self, const std::vector<Value>& args) {
    auto st2 = Lock(wst);
    if (!args.empty()) ThrowNoMember("Anchor");
    int k = AsLong(self.At("@Paragraph"));
    auto r =
        std::make_shared<SimObject>(st2->ctx, "Documents(" + std::to_string(d) + ").Paragraphs(" +
                                                  std::to_string(k) + ").Range");
    r->Set("Start", L((k - 1) * 100));
    r->Set("End", L((k - 1) * 100));
    r->Set("@Paragraph", L(k));
    r->Set("@Document", L(d));
    return Value(WObjectPtr(r));
  });
  // The place in the z-order is the index in the collection (read-only).
  s.Define("ZOrderPosition", [wst, d](SimObject& self, const std::vector<Value>&) {
    auto st2 = Lock(wst);
    std::size_t pos = PositionOf(st2->DocAt(d), kFloating, self);
    if (pos == std::string::npos) throw WordError(kObjectDeleted, kErrDeleted);
    return L(static_cast<int>(pos) + 1);
  });
  // ZOrder(msoBringToFront 0, msoSendToBack 1, msoBringForward 2, msoSendBackward 3) moves
  // the shape within its layer (behind the text or in front of it).
  s.Define("ZOrder", [wst, d](SimObject& self, const std::vector<Value>& args) {
    auto st2 = Lock(wst);
    if (!Given(args, 0)) throw WordError("Argument not optional.", kErrParamNotOptional);
    int cmd = AsLong(args[0]);
    auto& v = st2->DocAt(d).shapes[kFloating];
    std::size_t pos = PositionOf(st2->DocAt(d), kFloating, self);
    if (pos == std::string::npos) throw WordError(kObjectDeleted, kErrDeleted);
    bool behind = IsBehind(self);
    std::size_t low = behind ? 0 : TopOfLayer(v, true),
                high = behind ? TopOfLayer(v, true) : v.size();
    std::size_t to = pos;
    if (cmd == 0)
      to = high - 1;
    else if (cmd == 1)
      to = low;
    else if (cmd == 2)
      to = std::min(pos + 1, high - 1);
    else if (cmd == 3)
      to = pos > low ? pos - 1 : low;
    else
      throw WordError("Value out of range.", kErrTypeMismatch);
    auto keep = v[pos];
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(pos));
    v.insert(v.begin() + static_cast<std::ptrdiff_t>(to), keep);
    RelabelFrom(*st2, d, kFloating, std::min(pos, to));
    return Value();
  });
  // Flip(msoFlipHorizontal 0 or msoFlipVertical 1) turns the flip over; Word mirrors the
  // rotation with it (a shape turned by r degrees, flipped, is turned by 360 - r).
  s.Define("Flip", [](SimObject& self, const std::vector<Value>& args) {
    if (!Given(args, 0)) throw WordError("Argument not optional.", kErrParamNotOptional);
    int cmd = AsLong(args[0]);
    if (cmd != 0 && cmd != 1) throw WordError("Value out of range.", kErrTypeMismatch);
    const char* flip = cmd == 0 ? "HorizontalFlip" : "VerticalFlip";
    self.Set(flip, L(AsLong(self.At(flip)) != 0 ? 0 : -1));
    double r = AsNumber(self.At("Rotation"));
    if (r != 0) self.Set("Rotation", S(static_cast<float>(360 - r)));
    return Value();
  });
  s.Define("PickUp", [wst](SimObject& self, const std::vector<Value>&) {
    auto st2 = Lock(wst);
    st2->picked_up.clear();
    for (const char* p : kCarriedParts) {
      if (!self.Has(p)) continue;
      if (auto part = AsSim(self.At(p)))
        for (const auto& [name, v] : part->Props())
          st2->picked_up.emplace_back(std::string(p) + "." + name, v);
    }
    return Value();
  });
  // Without an earlier PickUp there is nothing to apply.
  s.Define("Apply", [wst](SimObject& self, const std::vector<Value>&) {
    auto st2 = Lock(wst);
    for (const auto& [path, v] : st2->picked_up) {
      auto dot = path.find('.');
      std::string part_name = path.substr(0, dot);
      if (!self.Has(part_name)) continue;
      if (auto part = AsSim(self.At(part_name))) part->Set(path.substr(dot + 1), v);
    }
    return Value();
  });
}

void AppendShape(const std::shared_ptr<State>& st, int d, bool floating, const SimObjectPtr& s,
                 std::size_t at = std::string::npos) {
  int f = floating ? kFloating : kInline;
  State::Doc& doc = st->DocAt(d);
  at = std::min(at, doc.shapes[f].size());
  doc.shapes[f].insert(doc.shapes[f].begin() + static_cast<std::ptrdiff_t>(at), s);
  RelabelFrom(*st, d, f, at);
  DefineShapeMethods(st, d, f, *s);
  if (!floating) return;
  // Going behind the text or coming out of it moves the shape to the other layer.
  if (s->Has("WrapFormat"))
    if (auto wf = AsSim(s->At("WrapFormat"))) {
      WeakState wst = st;
      std::weak_ptr<SimObject> wshape = s;
      wf->OnPut(
          [wst, d, wshape](SimObject&, std::string_view member, const Value& old, const Value& v) {
            auto st2 = wst.lock();
            auto shape = wshape.lock();
            if (!st2 || !shape || !SameName(member, "Type")) return;
            if ((AsLong(old) == kWrapBehind) == (AsLong(v) == kWrapBehind)) return;
            auto& v2 = st2->DocAt(d).shapes[kFloating];
            std::size_t pos = PositionOf(st2->DocAt(d), kFloating, *shape);
            if (pos == std::string::npos) return;
            v2.erase(v2.begin() + static_cast<std::ptrdiff_t>(pos));
            std::size_t to = TopOfLayer(v2, AsLong(v) == kWrapBehind);
            v2.insert(v2.begin() + static_cast<std::ptrdiff_t>(to), shape);
            RelabelFrom(*st2, d, kFloating, std::min(pos, to));
          });
    }
  std::string name = s->Has("Name") ? AsText(s->At("Name")) : std::string();
  if (name.empty()) {
    s->Set("Name", Value(std::string(DefaultNameStem(AsLong(s->At("Type")))) + " " +
                         std::to_string(++doc.last_id)));
  } else {
    doc.last_id = std::max(doc.last_id, TrailingNumber(name));
  }
}

SimObjectPtr ItemOf(const std::vector<SimObjectPtr>& items, const std::vector<Value>& args,
                    bool by_name) {
  if (!Given(args, 0)) throw WordError("Argument not optional.", kErrParamNotOptional);
  if (by_name && std::holds_alternative<std::string>(args[0])) {
    const std::string& want = std::get<std::string>(args[0]);
    for (const auto& s : items)
      if (s->Has("Name") && SameName(AsText(s->At("Name")), want)) return s;
    throw WordError(kNoSuchMember, kErrNoSuchMember);
  }
  std::int32_t i = AsLong(args[0]);
  if (i < 1 || static_cast<std::size_t>(i) > items.size())
    throw WordError(kNoSuchMember, kErrNoSuchMember);
  return items[static_cast<std::size_t>(i - 1)];
}

SimObjectPtr NewCollection(const std::shared_ptr<State>& st, int d, int f) {
  auto c = std::make_shared<SimObject>(
      st->ctx, "Documents(" + std::to_string(d) + ")." + kCollectionName[f]);
  WeakState wst = st;
  c->Define("Count", [wst, d, f](SimObject&, const std::vector<Value>&) {
    return L(static_cast<int>(Lock(wst)->DocAt(d).shapes[f].size()));
  });
  c->Define("Item", [wst, d, f](SimObject&, const std::vector<Value>& args) {
    return Value(WObjectPtr(ItemOf(Lock(wst)->DocAt(d).shapes[f], args, f == kFloating)));
  });
  // AddPicture(FileName, LinkToFile, SaveWithDocument, Left, Top, Width, Height, Anchor);
  // the in-line form takes (FileName, LinkToFile, SaveWithDocument, Range). An omitted
  // argument comes as an empty value.
  c->Define("AddPicture", [wst, d, f](SimObject&, const std::vector<Value>& args) {
    auto st2 = Lock(wst);
    bool floating = f == kFloating;
    if (args.size() > (floating ? 8u : 4u))
      throw WordError("Invalid number of parameters.", kErrBadParamCount);
    if (!Given(args, 0)) throw WordError("Argument not optional.", kErrParamNotOptional);
    if (!std::holds_alternative<std::string>(args[0]))
      throw WordError("Type mismatch.", kErrTypeMismatch);
    std::string file = AsText(args[0]);
    bool link = Given(args, 1) && AsBool(args[1]);
    bool save = Given(args, 2) && AsBool(args[2]);
    float where[4] = {0, 0, 0, 0};
    bool given[4] = {false, false, false, false};
    for (std::size_t k = 0; floating && k < 4; ++k)
      if (Given(args, 3 + k)) {
        where[k] = static_cast<float>(AsNumber(args[3 + k]));
        given[k] = true;
      }
    // The anchor must be a Range of this document; without one the selection anchors it.
    State::Doc& doc = st2->DocAt(d);
    int paragraph = doc.selection_paragraph;
    std::size_t anchor_arg = floating ? 7 : 3;
    bool anchored = Given(args, anchor_arg);
    if (anchored) {
      auto range = AsSim(args[anchor_arg]);
      if (!range || !range->Has("@Paragraph")) throw WordError("Type mismatch.", kErrTypeMismatch);
      if (AsLong(range->At("@Document")) != d)
        throw WordError("The specified range is not from the correct document or story.",
                        kErrWrongStory);
      paragraph = AsLong(range->At("@Paragraph"));
    }
    // A relative name is taken from Word's own current folder, not the document's.
    bool rooted = file.size() >= 2 && (file[1] == ':' || file[0] == '\\');
    std::string found = rooted ? file : st2->current_folder + "\\" + file;
    if (st2->exists && !st2->exists(found)) throw WordError(kInvalidFileName, kErrFileName);
    if (st2->readable && !st2->readable(found)) throw WordError(kUnreadablePicture, kErrUnreadable);
    int type = floating ? (link ? 11 : 13) : (link ? 4 : 3);
    auto s = NewShape(st2, floating, type);
    if (link) {
      auto lf = AsSim(s->At("LinkFormat"));
      lf->Set("SourceFullName", Value(found));
      lf->Set("SourceName", Value(NameOfPath(found)));
      lf->Set("SourcePath", Value(FolderOfPath(found)));
      lf->Set("SavePictureWithDocument", Value(save));
    }
    // The picture's own size, its aspect ratio locked.
    for (const char* side : {"Width", "@OriginalWidth"}) s->Set(side, S(96));
    for (const char* side : {"Height", "@OriginalHeight"}) s->Set(side, S(72));
    if (!floating) {
      AppendShape(st2, d, false, s);
      return Value(WObjectPtr(s));
    }
    // Anchored in the first paragraph of the range, placed relative to it; anchored
    // automatically, placed relative to the page.
    std::size_t k =
        static_cast<std::size_t>(std::clamp(paragraph, 1, static_cast<int>(doc.paragraphs.size())));
    AnchorAt(*s, doc.paragraphs[k - 1], static_cast<int>(k));
    s->Set("RelativeHorizontalPosition", L(anchored ? 2 : 1));
    s->Set("RelativeVerticalPosition", L(anchored ? 2 : 1));
    const char* names[] = {"Left", "Top", "Width", "Height"};
    for (std::size_t n = 0; n < 4; ++n)
      if (given[n]) s->Set(names[n], S(where[n]));
    AsSim(s->At("WrapFormat"))->Set("Type", L(st2->new_picture_wrap));
    AppendShape(st2, d, true, s, TopOfLayer(doc.shapes[f], st2->new_picture_wrap == kWrapBehind));
    return Value(WObjectPtr(s));
  });
  return c;
}

}  // namespace

SimWord::SimWord() : ctx_(std::make_shared<SimContext>()), st_(std::make_shared<State>()) {
  st_->ctx = ctx_;
  app_ = std::make_shared<SimObject>(ctx_, "Application");
  app_->Set("Name", T("Microsoft Word"));
  app_->Set("Version", T("9.0"));
  WeakState wst = st_;
  app_->Define("ActiveDocument", [wst](SimObject&, const std::vector<Value>&) {
    auto st = Lock(wst);
    if (st->active < 1) throw WordError(kNoDocumentOpen, kErrNoDocument);
    return Value(WObjectPtr(st->DocAt(st->active).obj));
  });
  auto docs = std::make_shared<SimObject>(ctx_, "Documents");
  docs->Define("Count", [wst](SimObject&, const std::vector<Value>&) {
    return L(static_cast<int>(Lock(wst)->docs.size()));
  });
  docs->Define("Item", [wst](SimObject&, const std::vector<Value>& args) {
    auto st = Lock(wst);
    std::vector<SimObjectPtr> objs;
    for (auto& d : st->docs) objs.push_back(d.obj);
    return Value(WObjectPtr(ItemOf(objs, args, true)));
  });
  app_->Set("Documents", Value(WObjectPtr(docs)));
  // The selection of the active document, as far as a client can put it back: its start and
  // end (a paragraph starts at a multiple of 100) and SetRange. Selecting a shape selects
  // its anchor.
  auto sel = std::make_shared<SimObject>(ctx_, "Application.Selection");
  auto active = [](const std::shared_ptr<State>& st) -> State::Doc& {
    if (st->active < 1) throw WordError(kNoDocumentOpen, kErrNoDocument);
    return st->DocAt(st->active);
  };
  for (const char* edge : {"Start", "End"})
    sel->Define(edge, [wst, active](SimObject&, const std::vector<Value>&) {
      return L((active(Lock(wst)).selection_paragraph - 1) * 100);
    });
  sel->Define("SetRange", [wst, active](SimObject&, const std::vector<Value>& args) {
    if (!Given(args, 0) || !Given(args, 1))
      throw WordError("Argument not optional.", kErrParamNotOptional);
    State::Doc& doc = active(Lock(wst));
    int k = AsLong(args[0]) / 100 + 1;
    doc.selection_paragraph = std::clamp(k, 1, static_cast<int>(doc.paragraphs.size()));
    doc.selection.reset();
    return Value();
  });
  app_->Set("Selection", Value(WObjectPtr(sel)));
  // Every change a client makes marks its document changed (Saved false), as in Word; reads,
  // selecting, activating and clearing the undo list do not.
  ctx_->on_done = [wst](const std::string& object, std::string_view member, Access access) {
    if (access == Access::Get || object.rfind("Documents(", 0) != 0) return;
    if (access == Access::Call) {
      bool changes = false;
      for (const char* m :
           {"Delete", "AddPicture", "Apply", "ZOrder", "BreakLink", "Update", "Flip", "Add"})
        changes = changes || SameName(member, m);
      if (!changes) return;
    }
    auto st = wst.lock();
    if (!st) return;
    int d = std::atoi(object.c_str() + 10);
    if (d < 1 || d > static_cast<int>(st->docs.size())) return;
    SimObject& doc = *st->DocAt(d).obj;
    if (access == Access::Put && object == doc.Label() && SameName(member, "Saved")) return;
    doc.Set("Saved", Value(false));
  };
}

SimWord::~SimWord() = default;

WObjectPtr SimWord::Global() {
  return app_;
}

int SimWord::DocumentCount() const {
  return static_cast<int>(st_->docs.size());
}

void SimWord::Check(int doc) const {
  if (doc < 1 || doc > DocumentCount())
    throw std::out_of_range("the stand-in has no document " + std::to_string(doc));
}

SimObjectPtr SimWord::Document(int index) const {
  Check(index);
  return st_->DocAt(index).obj;
}

int SimWord::ActiveIndex() const {
  return st_->active;
}

void SimWord::SetActive(int index) {
  if (index != 0) Check(index);
  st_->active = index;
}

int SimWord::AddDocument(const std::string& name, const std::string& path) {
  int d = DocumentCount() + 1;
  State::Doc doc;
  doc.obj = std::make_shared<SimObject>(ctx_, "Documents(" + std::to_string(d) + ")");
  doc.obj->Set("Name", Value(name));
  doc.obj->Set("Path", Value(path));
  doc.obj->Set("Saved", Value(true));
  for (int f : {kInline, kFloating}) {
    doc.coll[f] = NewCollection(st_, d, f);
    doc.obj->Set(kCollectionName[f], Value(WObjectPtr(doc.coll[f])));
  }
  WeakState wst = st_;
  doc.obj->Define("FullName", [wst, d](SimObject&, const std::vector<Value>&) {
    auto st = Lock(wst);
    const auto& o = *st->DocAt(d).obj;
    std::string folder = AsText(o.At("Path"));
    // A document never saved has no folder: its full name is its name.
    return Value(folder.empty() ? AsText(o.At("Name")) : folder + "\\" + AsText(o.At("Name")));
  });
  doc.obj->Define("Activate", [wst, d](SimObject&, const std::vector<Value>&) {
    Lock(wst)->active = d;
    return Value();
  });
  // The document's hyperlinks, those of its shapes among them (hyperlinks in the text are
  // not modelled). Hyperlinks.Add(Anchor, Address, SubAddress, ScreenTip, TextToDisplay,
  // Target) with a shape of this document as the anchor gives the shape a Hyperlink; the text
  // to display does not replace a shape.
  auto links = std::make_shared<SimObject>(ctx_, "Documents(" + std::to_string(d) + ").Hyperlinks");
  links->Define("Count", [wst, d](SimObject&, const std::vector<Value>&) {
    auto st = Lock(wst);
    int n = 0;
    for (const auto& shapes : st->DocAt(d).shapes)
      for (const auto& shape : shapes) n += shape->Has("Hyperlink");
    return L(n);
  });
  links->Define("Add", [wst, d](SimObject&, const std::vector<Value>& args) {
    auto st = Lock(wst);
    if (!Given(args, 0)) throw WordError("Argument not optional.", kErrParamNotOptional);
    if (args.size() > 6) throw WordError("Invalid number of parameters.", kErrBadParamCount);
    auto shape = AsSim(args[0]);
    State::Doc& doc = st->DocAt(d);
    bool ours = false;
    for (int f : {kInline, kFloating})
      if (shape && PositionOf(doc, f, *shape) != std::string::npos) ours = true;
    if (!ours) throw WordError("Type mismatch.", kErrTypeMismatch);
    auto link = NewPart(st, shape, "Hyperlink");
    const char* members[] = {"Address", "SubAddress", "ScreenTip"};
    for (std::size_t k = 0; k < 3; ++k)
      if (Given(args, k + 1)) link->Set(members[k], Value(AsText(args[k + 1])));
    return Value(WObjectPtr(link));
  });
  doc.obj->Set("Hyperlinks", Value(WObjectPtr(links)));
  auto tables = std::make_shared<SimObject>(ctx_, "Documents(" + std::to_string(d) + ").Tables");
  tables->Define("Count", [wst, d](SimObject&, const std::vector<Value>&) {
    return L(Lock(wst)->DocAt(d).tables);
  });
  doc.obj->Set("Tables", Value(WObjectPtr(tables)));
  doc.obj->Define("UndoClear", [wst, d](SimObject&, const std::vector<Value>&) {
    ++Lock(wst)->DocAt(d).undo_clears;
    return Value();
  });
  st_->docs.push_back(std::move(doc));
  return d;
}

SimObjectPtr SimWord::Collection(int doc, const std::string& which) const {
  Check(doc);
  for (int f : {kInline, kFloating})
    if (SameName(which, kCollectionName[f])) return st_->DocAt(doc).coll[f];
  throw std::invalid_argument("no shape collection named " + which);
}

SimObjectPtr SimWord::ShapeAt(int doc, const std::string& which, int index) const {
  Collection(doc, which);
  const auto& v = st_->DocAt(doc).shapes[SameName(which, "Shapes") ? kFloating : kInline];
  if (index < 1 || static_cast<std::size_t>(index) > v.size())
    throw std::out_of_range(which + " has no shape " + std::to_string(index));
  return v[static_cast<std::size_t>(index - 1)];
}

int SimWord::ShapeCount(int doc, const std::string& which) const {
  Collection(doc, which);
  return static_cast<int>(
      st_->DocAt(doc).shapes[SameName(which, "Shapes") ? kFloating : kInline].size());
}

void SimWord::SetTableCount(int doc, int tables) {
  Check(doc);
  st_->DocAt(doc).tables = tables;
}

int SimWord::UndoClears(int doc) const {
  Check(doc);
  return st_->DocAt(doc).undo_clears;
}

SimObjectPtr SimWord::SelectedShape(int doc) const {
  Check(doc);
  return st_->DocAt(doc).selection.lock();
}

void SimWord::AddFault(const std::string& object, const std::string& member, Access access,
                       bool once, const std::string& description) {
  Fault f;
  f.object = object;
  f.member = member;
  f.access = access;
  f.once = once;
  f.description = description;
  ctx_->faults.push_back(f);
}

void SimWord::SetFileCheck(std::function<bool(const std::string& path)> exists) {
  st_->exists = std::move(exists);
}

void SimWord::SetFileSystem(FileSystem* fs) {
  if (fs == nullptr) {
    st_->exists = nullptr;
    return;
  }
  st_->exists = [fs](const std::string& path) { return fs->CanOpenForReading(path); };
}

void SimWord::SetPictureCheck(std::function<bool(const std::string& path)> readable) {
  st_->readable = std::move(readable);
}

void SimWord::FailAfter(long calls, bool once, const std::string& description) {
  CountedFault f;
  f.after = calls;
  f.once = once;
  f.description = description;
  ctx_->counted_faults.push_back(f);
}

void SimWord::CancelAfter(long calls) {
  CountedFault f;
  f.after = calls;
  f.cancel = true;
  ctx_->counted_faults.push_back(f);
}

void SimWord::SetCurrentFolder(const std::string& folder) {
  st_->current_folder = folder;
}

void SimWord::SetRelinkResetsFormatting(bool on) {
  st_->relink_resets = on;
}

void SimWord::SetParagraphs(int doc, std::vector<SimParagraph> paragraphs) {
  Check(doc);
  if (paragraphs.empty()) throw std::invalid_argument("a document has at least one paragraph");
  State::Doc& d = st_->DocAt(doc);
  d.paragraphs = std::move(paragraphs);
  int last = static_cast<int>(d.paragraphs.size());
  d.selection_paragraph = std::min(d.selection_paragraph, last);
  for (const auto& shape : d.shapes[kFloating])
    AnchorShape(doc, shape, std::min(AnchorParagraph(shape), last));
}

int SimWord::ParagraphCount(int doc) const {
  Check(doc);
  return static_cast<int>(st_->DocAt(doc).paragraphs.size());
}

void SimWord::SetSelectionParagraph(int doc, int paragraph) {
  if (paragraph < 1 || paragraph > ParagraphCount(doc))
    throw std::out_of_range("no paragraph " + std::to_string(paragraph));
  st_->DocAt(doc).selection_paragraph = paragraph;
}

int SimWord::SelectionParagraph(int doc) const {
  Check(doc);
  return st_->DocAt(doc).selection_paragraph;
}

void SimWord::AnchorShape(int doc, const SimObjectPtr& shape, int paragraph) {
  if (paragraph < 1 || paragraph > ParagraphCount(doc))
    throw std::out_of_range("no paragraph " + std::to_string(paragraph));
  AnchorAt(*shape, st_->DocAt(doc).paragraphs[static_cast<std::size_t>(paragraph - 1)], paragraph);
}

int SimWord::AnchorParagraph(const SimObjectPtr& shape) {
  return shape->Has("@Paragraph") ? AsLong(shape->At("@Paragraph")) : 0;
}

int SimWord::PageOf(int doc, const SimObjectPtr& shape) const {
  int k = AnchorParagraph(shape);
  if (k < 1 || k > ParagraphCount(doc)) return 0;
  return st_->DocAt(doc).paragraphs[static_cast<std::size_t>(k - 1)].page;
}

void SimWord::SetNewPictureWrap(int wrap_type) {
  st_->new_picture_wrap = wrap_type;
}

SimObjectPtr SimWord::MakeShape(bool floating, int type) {
  return NewShape(st_, floating, type);
}

SimObjectPtr SimWord::MakePart(const SimObjectPtr& shape, const std::string& name) {
  return NewPart(st_, shape, name);
}

void SimWord::Append(int doc, bool floating, const SimObjectPtr& shape) {
  Check(doc);
  AppendShape(st_, doc, floating, shape);
}

}  // namespace ravel::sim
