// The Word stand-in: documents in memory, made of SimObjects, loaded from JSON fixtures
// (schema in docs/word-fixtures.md). It answers the members Ravelmend reads and writes,
// with fault injection and a call count.
//
// Objects are labelled by where they sit, counted from 1 as Word counts: "Application",
// "Documents", "Documents(1)", "Documents(1).InlineShapes", "Documents(1).Shapes(3)",
// "Documents(1).Shapes(3).WrapFormat". A shape's label follows its position: after a Delete
// the shapes behind it move forward and are relabelled.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "inventory/WordPort.h"
#include "relink/FileSystem.h"
#include "sim/SimObject.h"

namespace ravel::sim {

// A fixture that cannot be used: the message says where and why.
class FixtureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Word's own error texts and codes (HRESULTs as automation reports them), for tests that
// check what a client shows.
extern const char* const kNoDocumentOpen;     // ActiveDocument with no document open
extern const char* const kNoSuchMember;       // Item out of range
extern const char* const kObjectDeleted;      // any call on a deleted shape
extern const char* const kInvalidFileName;    // AddPicture of a file that does not exist
extern const char* const kUnreadablePicture;  // AddPicture of a file Word cannot read

// A paragraph of a document, as far as floating shapes care: the page it is on and, on that
// page, its top and its column's left edge (points from the page's edge).
struct SimParagraph {
  int page = 1;
  float top = 72;
  float column_left = 72;
};

class SimWord : public WordApp {
 public:
  SimWord();
  ~SimWord() override;
  // Word's application-global object (never fails: faults are injected on its members).
  WObjectPtr Global() override;

  SimContext& Context() { return *ctx_; }
  SimObjectPtr Application() const { return app_; }
  // Documents, counted from 1; ActiveIndex 0 means no document is open.
  int DocumentCount() const;
  SimObjectPtr Document(int index) const;
  int ActiveIndex() const;
  void SetActive(int index);
  // A new empty document (Name, Path); returns its index.
  int AddDocument(const std::string& name, const std::string& path);

  // Model-side access to shapes (uncounted): "InlineShapes" or "Shapes" of document `doc`.
  SimObjectPtr Collection(int doc, const std::string& which) const;
  SimObjectPtr ShapeAt(int doc, const std::string& which, int index) const;
  int ShapeCount(int doc, const std::string& which) const;
  // Appends a shape built from a fixture-form JSON text; returns it.
  SimObjectPtr AddShape(int doc, const std::string& which, const std::string& json);
  // The document's paragraphs (one on page 1 unless set); shapes anchored beyond the new
  // count move to the last one.
  void SetParagraphs(int doc, std::vector<SimParagraph> paragraphs);
  int ParagraphCount(int doc) const;
  // The paragraph holding the insertion point, where an added shape anchors by default.
  void SetSelectionParagraph(int doc, int paragraph);
  int SelectionParagraph(int doc) const;
  // Anchors a floating shape of document `doc` in paragraph `paragraph` (model-side).
  void AnchorShape(int doc, const SimObjectPtr& shape, int paragraph);
  // The paragraph a floating shape is anchored in, and the page it is therefore on.
  static int AnchorParagraph(const SimObjectPtr& shape);
  int PageOf(int doc, const SimObjectPtr& shape) const;
  // How Word wraps the pictures it adds (Word's option for inserted pictures; 3 in front of
  // the text, 5 behind it: such a picture goes below the text in the z-order, so before the
  // shapes in front of it in the collection).
  void SetNewPictureWrap(int wrap_type);
  // How many tables the document's text holds (Tables.Count; none unless set).
  void SetTableCount(int doc, int tables);
  // UndoClear calls seen per document.
  int UndoClears(int doc) const;
  // The shape last selected with Select in document `doc`, or null.
  SimObjectPtr SelectedShape(int doc) const;

  // Adds a fault on the object labelled `object` (see docs/word-fixtures.md for labels).
  void AddFault(const std::string& object, const std::string& member, Access access,
                bool once = false, const std::string& description = "Word could not do that.");

  // Which files Word can open (AddPicture fails for others). Without a check every file
  // exists. A FileSystem given here must outlive the stand-in's use.
  void SetFileCheck(std::function<bool(const std::string& path)> exists);
  void SetFileSystem(FileSystem* fs);
  // Which existing files hold a picture Word can read (AddPicture fails for others). Without
  // a check every existing file does.
  void SetPictureCheck(std::function<bool(const std::string& path)> readable);
  // Once `calls` client calls have been made, the next one fails (once) or every later one
  // does (always), as when Word goes away.
  void FailAfter(long calls, bool once = true,
                 const std::string& description = "The remote procedure call failed.");
  // Once `calls` client calls have been made, the next one is stopped by the user waiting
  // for a busy Word (OperationCancelled), once.
  void CancelAfter(long calls);
  // Word's current folder (where it resolves a relative file name given to AddPicture).
  void SetCurrentFolder(const std::string& folder);
  // Whether writing a link's SourceFullName reloads the picture as Word does, dropping its
  // formatting to Word's defaults (on by default).
  void SetRelinkResetsFormatting(bool on);

  struct State;

 private:
  friend class FixtureLoader;
  // A shape of the given kind with Word's defaults, not yet in any collection.
  SimObjectPtr MakeShape(bool floating, int type);
  // A default sub-object ("LinkFormat", "PictureFormat", ...) set on `shape`; null when
  // `name` is not one.
  SimObjectPtr MakePart(const SimObjectPtr& shape, const std::string& name);
  // Appends to the document's collection, labels it and gives a floating shape without a
  // name Word's default name.
  void Append(int doc, bool floating, const SimObjectPtr& shape);
  void Check(int doc) const;

  std::shared_ptr<SimContext> ctx_;
  std::shared_ptr<State> st_;
  SimObjectPtr app_;
};

// Builds a stand-in Word from fixture text. "{{NAME}}" in any text value is replaced by
// vars.at("NAME") (for instance "{{FIXTURE_DIR}}", the fixture's folder in Windows form).
// Throws FixtureError for malformed JSON or a value of the wrong kind.
std::shared_ptr<SimWord> LoadWordFixture(const std::string& json_text,
                                         const std::map<std::string, std::string>& vars = {});
// Reads the file and loads it; FIXTURE_DIR defaults to the file's own folder in Windows form
// (a POSIX path's folder becomes "Z:" plus the folder with backslashes, as Wine maps it).
std::shared_ptr<SimWord> LoadWordFixtureFile(const std::string& path,
                                             std::map<std::string, std::string> vars = {});
// The FIXTURE_DIR that LoadWordFixtureFile uses for `path`.
std::string FixtureDirOf(const std::string& path);

}  // namespace ravel::sim
