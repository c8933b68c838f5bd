// Typed access to the part of Word's object model that Ravelmend uses. Each wrapper holds
// one object fetched for the current use; callers fetch the active document anew for every
// use and never keep it. Every call may throw WordError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "inventory/WordPort.h"

namespace ravel {

// Formatting properties that the save captures and restores, addressed by enum so the
// capture/restore steps are data. Each has its member path below the shape ("PictureFormat.
// Brightness" is Brightness of the shape's PictureFormat).
enum class Prop {
  AlternativeText,
  LockAspectRatio,
  ScaleHeight,
  ScaleWidth,
  Height,
  Width,
  Left,
  Top,
  LockAnchor,
  Visible,
  RelativeHorizontalPosition,
  RelativeVerticalPosition,
  PictureColorType,
  PictureBrightness,
  PictureContrast,
  PictureCropBottom,
  PictureCropLeft,
  PictureCropRight,
  PictureCropTop,
  PictureTransparentBackground,
  WrapAllowOverlap,
  WrapDistanceBottom,
  WrapDistanceLeft,
  WrapDistanceRight,
  WrapDistanceTop,
  WrapSide,
  WrapType,
  LinkLocked,
};
constexpr std::size_t kPropCount = static_cast<std::size_t>(Prop::LinkLocked) + 1;
// "PictureFormat.Brightness", "Left", ...
const char* PathOf(Prop p);

// Shape types (Type of an in-line or floating shape).
constexpr int kInlineLinkedOle = 2;
constexpr int kInlineLinkedPicture = 4;
constexpr int kShapeLinkedOle = 10;
constexpr int kShapeLinkedPicture = 11;
// LinkFormat.Type
constexpr int kLinkOle = 0;
constexpr int kLinkPicture = 1;

class LinkFormat {
 public:
  explicit LinkFormat(WObjectPtr o) : o_(std::move(o)) {}
  int Type() const;
  std::string SourceName() const;
  std::string SourceFullName() const;
  void SetSourceFullName(const std::string& path) const;
  bool SavePictureWithDocument() const;
  void SetSavePictureWithDocument(bool on) const;
  bool Locked() const;

 private:
  WObjectPtr o_;
};

// An in-line shape or a floating shape: both kinds answer the same members here. Its
// LinkFormat, PictureFormat and WrapFormat are fetched once and shared by its copies: each
// fetch is a call into Word.
class Shape {
 public:
  explicit Shape(WObjectPtr o) : o_(std::move(o)), parts_(std::make_shared<Parts>()) {}
  int Type() const;
  LinkFormat Link() const;
  std::string OleClassType() const;  // OLEFormat.ClassType
  std::string Name() const;
  Value Get(Prop p) const;
  void Put(Prop p, const Value& v) const;
  void PickUp() const;
  void Apply() const;
  void Select() const;  // replace argument omitted
  void Delete() const;
  // Floating shapes only: the Range the shape is anchored to.
  WObjectPtr Anchor() const;
  // Floating shapes only: the place in the z-order, which is the index in Shapes.
  int ZOrderPosition() const;
  // Floating shapes only: moves it in the z-order (kBringToFront, ...).
  void ZOrder(int command) const;
  const WObjectPtr& Object() const { return o_; }

 private:
  struct Parts {
    WObjectPtr link, picture, wrap;
  };
  const WObjectPtr& Part(std::string_view name) const;

  WObjectPtr o_;
  std::shared_ptr<Parts> parts_;
};

// MsoZOrderCmd
constexpr int kBringToFront = 0;
constexpr int kSendToBack = 1;

class Shapes {
 public:
  explicit Shapes(WObjectPtr o) : o_(std::move(o)) {}
  int Count() const;
  Shape Item(int index) const;                     // counted from 1
  Shape ItemNamed(const std::string& name) const;  // floating shapes only
  // Floating shapes only: a picture from the file, anchored in the first paragraph of
  // `anchor` (a Range) or, without one, where Word's selection is; Word's defaults for the
  // rest. Returns the new shape.
  Shape AddPicture(const std::string& file, bool link_to_file, bool save_with_document,
                   const WObjectPtr& anchor = nullptr) const;

 private:
  WObjectPtr o_;
};

class Document {
 public:
  explicit Document(WObjectPtr o) : o_(std::move(o)) {}
  std::string Name() const;
  std::string FullName() const;  // folder and name; the name alone for a document never saved
  std::string Path() const;      // folder without trailing backslash
  bool Saved() const;
  void SetSaved(bool saved) const;
  void Activate() const;
  Shapes InlineShapes() const;
  Shapes FloatingShapes() const;  // the document's Shapes collection
  void UndoClear() const;

 private:
  WObjectPtr o_;
};

// Fails (WordError) when Word is not reachable or no document is open.
Document ActiveDocument(WordApp& word);

// Where the selection of the active document is, to put it back after selecting a shape.
struct SelectionRange {
  std::int32_t start = 0, end = 0;
};
SelectionRange ReadSelection(WordApp& word);
void SetSelection(WordApp& word, const SelectionRange& range);

}  // namespace ravel
