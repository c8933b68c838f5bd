#include "inventory/Word.h"

#include <cmath>

namespace ravel {

namespace {

[[noreturn]] void TypeMismatch(const char* wanted) {
  throw WordError(std::string("Type mismatch: Word did not answer a ") + wanted, -2147352571);
}

template <class T>
const T* Alt(const Value& v) {
  return std::get_if<T>(&v);
}

bool IsNumber(const Value& v) {
  return Alt<std::int32_t>(v) || Alt<float>(v) || Alt<double>(v) || Alt<bool>(v);
}

}  // namespace

double AsNumber(const Value& v) {
  if (auto* i = Alt<std::int32_t>(v)) return *i;
  if (auto* f = Alt<float>(v)) return *f;
  if (auto* d = Alt<double>(v)) return *d;
  if (auto* b = Alt<bool>(v)) return *b ? -1 : 0;
  TypeMismatch("number");
}

std::int32_t AsLong(const Value& v) {
  if (auto* i = Alt<std::int32_t>(v)) return *i;
  if (IsNumber(v)) {
    double d = std::nearbyint(AsNumber(v));
    if (d >= -2147483648.0 && d <= 2147483647.0) return static_cast<std::int32_t>(d);
  }
  TypeMismatch("whole number");
}

bool AsBool(const Value& v) {
  if (auto* b = Alt<bool>(v)) return *b;
  if (IsNumber(v)) return AsNumber(v) != 0;
  TypeMismatch("Boolean");
}

std::string AsText(const Value& v) {
  if (auto* s = Alt<std::string>(v)) return *s;
  if (std::holds_alternative<std::monostate>(v)) return {};
  TypeMismatch("text");
}

WObjectPtr AsObject(const Value& v) {
  if (auto* o = Alt<WObjectPtr>(v))
    if (*o) return *o;
  TypeMismatch("object");
}

bool SameValue(const Value& a, const Value& b) {
  if (IsNumber(a) && IsNumber(b)) return AsNumber(a) == AsNumber(b);
  return a == b;
}

const char* PathOf(Prop p) {
  switch (p) {
    case Prop::AlternativeText:
      return "AlternativeText";
    case Prop::LockAspectRatio:
      return "LockAspectRatio";
    case Prop::ScaleHeight:
      return "ScaleHeight";
    case Prop::ScaleWidth:
      return "ScaleWidth";
    case Prop::Height:
      return "Height";
    case Prop::Width:
      return "Width";
    case Prop::Left:
      return "Left";
    case Prop::Top:
      return "Top";
    case Prop::LockAnchor:
      return "LockAnchor";
    case Prop::Visible:
      return "Visible";
    case Prop::RelativeHorizontalPosition:
      return "RelativeHorizontalPosition";
    case Prop::RelativeVerticalPosition:
      return "RelativeVerticalPosition";
    case Prop::PictureColorType:
      return "PictureFormat.ColorType";
    case Prop::PictureBrightness:
      return "PictureFormat.Brightness";
    case Prop::PictureContrast:
      return "PictureFormat.Contrast";
    case Prop::PictureCropBottom:
      return "PictureFormat.CropBottom";
    case Prop::PictureCropLeft:
      return "PictureFormat.CropLeft";
    case Prop::PictureCropRight:
      return "PictureFormat.CropRight";
    case Prop::PictureCropTop:
      return "PictureFormat.CropTop";
    case Prop::PictureTransparentBackground:
      return "PictureFormat.TransparentBackground";
    case Prop::WrapAllowOverlap:
      return "WrapFormat.AllowOverlap";
    case Prop::WrapDistanceBottom:
      return "WrapFormat.DistanceBottom";
    case Prop::WrapDistanceLeft:
      return "WrapFormat.DistanceLeft";
    case Prop::WrapDistanceRight:
      return "WrapFormat.DistanceRight";
    case Prop::WrapDistanceTop:
      return "WrapFormat.DistanceTop";
    case Prop::WrapSide:
      return "WrapFormat.Side";
    case Prop::WrapType:
      return "WrapFormat.Type";
    case Prop::LinkLocked:
      return "LinkFormat.Locked";
  }
  return "";
}

const WObjectPtr& Shape::Part(std::string_view name) const {
  WObjectPtr& slot = name == "LinkFormat"      ? parts_->link
                     : name == "PictureFormat" ? parts_->picture
                                               : parts_->wrap;
  if (!slot) slot = AsObject(o_->Get(name));
  return slot;
}

int LinkFormat::Type() const {
  return AsLong(o_->Get("Type"));
}
std::string LinkFormat::SourceName() const {
  return AsText(o_->Get("SourceName"));
}
std::string LinkFormat::SourceFullName() const {
  return AsText(o_->Get("SourceFullName"));
}
void LinkFormat::SetSourceFullName(const std::string& path) const {
  o_->Put("SourceFullName", path);
}
bool LinkFormat::SavePictureWithDocument() const {
  return AsBool(o_->Get("SavePictureWithDocument"));
}
void LinkFormat::SetSavePictureWithDocument(bool on) const {
  o_->Put("SavePictureWithDocument", on);
}
bool LinkFormat::Locked() const {
  return AsBool(o_->Get("Locked"));
}

int Shape::Type() const {
  return AsLong(o_->Get("Type"));
}
LinkFormat Shape::Link() const {
  return LinkFormat(Part("LinkFormat"));
}
std::string Shape::OleClassType() const {
  return AsText(AsObject(o_->Get("OLEFormat"))->Get("ClassType"));
}
std::string Shape::Name() const {
  return AsText(o_->Get("Name"));
}
// "PictureFormat.Brightness" is Brightness of the shape's (cached) PictureFormat.
Value Shape::Get(Prop p) const {
  std::string_view path = PathOf(p);
  auto dot = path.find('.');
  if (dot == std::string_view::npos) return o_->Get(path);
  return Part(path.substr(0, dot))->Get(path.substr(dot + 1));
}
void Shape::Put(Prop p, const Value& v) const {
  std::string_view path = PathOf(p);
  auto dot = path.find('.');
  if (dot == std::string_view::npos) return o_->Put(path, v);
  Part(path.substr(0, dot))->Put(path.substr(dot + 1), v);
}
void Shape::PickUp() const {
  o_->Call("PickUp");
}
void Shape::Apply() const {
  o_->Call("Apply");
}
void Shape::Select() const {
  o_->Call("Select");
}
void Shape::Delete() const {
  o_->Call("Delete");
}

int Shapes::Count() const {
  return AsLong(o_->Get("Count"));
}
Shape Shapes::Item(int index) const {
  return Shape(AsObject(o_->Call("Item", {Value(std::int32_t{index})})));
}
Shape Shapes::ItemNamed(const std::string& name) const {
  return Shape(AsObject(o_->Call("Item", {Value(name)})));
}
WObjectPtr Shape::Anchor() const {
  return AsObject(o_->Get("Anchor"));
}

int Shape::ZOrderPosition() const {
  return AsLong(o_->Get("ZOrderPosition"));
}
void Shape::ZOrder(int command) const {
  o_->Call("ZOrder", {Value(std::int32_t{command})});
}

Shape Shapes::AddPicture(const std::string& file, bool link_to_file, bool save_with_document,
                         const WObjectPtr& anchor) const {
  std::vector<Value> args{Value(file), Value(link_to_file), Value(save_with_document)};
  if (anchor) {
    // Left, Top, Width and Height omitted: Word's own.
    args.resize(7);
    args.emplace_back(anchor);
  }
  return Shape(AsObject(o_->Call("AddPicture", args)));
}

std::string Document::Name() const {
  return AsText(o_->Get("Name"));
}
std::string Document::FullName() const {
  return AsText(o_->Get("FullName"));
}
bool Document::Saved() const {
  return AsBool(o_->Get("Saved"));
}
void Document::SetSaved(bool saved) const {
  o_->Put("Saved", saved);
}
std::string Document::Path() const {
  return AsText(o_->Get("Path"));
}
void Document::Activate() const {
  o_->Call("Activate");
}
Shapes Document::InlineShapes() const {
  return Shapes(AsObject(o_->Get("InlineShapes")));
}
Shapes Document::FloatingShapes() const {
  return Shapes(AsObject(o_->Get("Shapes")));
}
void Document::UndoClear() const {
  o_->Call("UndoClear");
}

Document ActiveDocument(WordApp& word) {
  return Document(AsObject(word.Global()->Get("ActiveDocument")));
}

SelectionRange ReadSelection(WordApp& word) {
  WObjectPtr sel = AsObject(word.Global()->Get("Selection"));
  return {AsLong(sel->Get("Start")), AsLong(sel->Get("End"))};
}

void SetSelection(WordApp& word, const SelectionRange& range) {
  AsObject(word.Global()->Get("Selection"))
      ->Call("SetRange", {Value(range.start), Value(range.end)});
}

}  // namespace ravel
