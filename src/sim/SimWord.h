// The Word stand-in: documents in memory, made of SimObjects, loaded from JSON fixtures
// (schema in docs/word-fixtures.md). It answers the members Ravelmend reads and writes,
// with fault injection and a call count.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "inventory/WordPort.h"
#include "sim/SimObject.h"

namespace ravel::sim {

// A fixture that cannot be used: the message says where and why.
class FixtureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SimWord : public WordApp {
 public:
  SimWord();
  // Word's application-global object (never fails: faults are injected on its members).
  WObjectPtr Global() override;

  SimContext& Context() { return *ctx_; }
  SimObjectPtr Application() const { return app_; }
  // Documents, counted from 1; ActiveIndex 0 means no document is open.
  int DocumentCount() const;
  SimObjectPtr Document(int index) const;
  int ActiveIndex() const { return active_; }
  void SetActive(int index);
  // A new empty document (Name, Path); returns its index.
  int AddDocument(const std::string& name, const std::string& path);

  // Model-side access to shapes (uncounted): "InlineShapes" or "Shapes" of document `doc`.
  SimObjectPtr Collection(int doc, const std::string& which) const;
  SimObjectPtr ShapeAt(int doc, const std::string& which, int index) const;
  int ShapeCount(int doc, const std::string& which) const;
  // Appends a shape built from a fixture-form JSON text; returns it.
  SimObjectPtr AddShape(int doc, const std::string& which, const std::string& json);
  // UndoClear calls seen per document.
  int UndoClears(int doc) const;

  // Adds a fault on the object labelled `object` (see docs/word-fixtures.md for labels).
  void AddFault(const std::string& object, const std::string& member, Access access,
                bool once = false, const std::string& description = "Word could not do that.");

 private:
  friend class FixtureLoader;
  std::shared_ptr<SimContext> ctx_;
  SimObjectPtr app_;
  std::vector<SimObjectPtr> docs_;
  int active_ = 0;
};

// Builds a stand-in Word from fixture text. "{{NAME}}" in any text value is replaced by
// vars.at("NAME") (for instance "{{FIXTURE_DIR}}", the fixture's folder in Windows form).
// Throws FixtureError for malformed JSON or a value of the wrong kind.
std::shared_ptr<SimWord> LoadWordFixture(const std::string& json_text,
                                         const std::map<std::string, std::string>& vars = {});
// Reads the file and loads it; FIXTURE_DIR defaults to the file's own folder.
std::shared_ptr<SimWord> LoadWordFixtureFile(const std::string& path,
                                             std::map<std::string, std::string> vars = {});

}  // namespace ravel::sim
