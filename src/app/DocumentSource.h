// The document behind the list: the document active in Word (reached through the Word port),
// or a document file that the window opened itself (read and written by the document engine,
// src/filedoc). The form asks its source everything that depends on which of the two it is.
#pragma once

#include <string>

namespace ravel {

class Form_Main;

class DocumentSource {
 public:
  virtual ~DocumentSource() = default;

  // Rebuilds the link table and the list from the document. Never throws.
  virtual void Read(Form_Main& main);
  // Writes the selected, changed items into the document and reads it again. Never throws.
  virtual void Save(Form_Main& main);
  // The document's name and folder (no trailing backslash) as they stand now; throw when
  // there is no document.
  virtual std::string Name(Form_Main& main);
  virtual std::string Folder(Form_Main& main);
  // The window's caption while this document is shown.
  virtual std::string Caption() const;
  // The file's full path; empty for Word's document.
  virtual std::string FilePath() const { return {}; }
  // Whether a click on "Store in Document (SID)" can change the item (a file's stored copies
  // stay as they are).
  virtual bool CanChangeStoredCopy() const { return true; }
  // Asked before the list turns to another document or the program ends: false when the
  // user wants to stay. Word holds its own document, so leaving it never asks.
  virtual bool AskBeforeLeaving(Form_Main& main) {
    (void)main;
    return true;
  }
};

}  // namespace ravel
