// A document file as the source of the window's list: its links read by the document engine
// into the link table, the selected changed rows written back as the batch command writes
// (only the link targets change; a temporary file and an atomic replace through the store;
// a backup copy unless the user turned it off), and a question before unsaved changes go.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DocumentSource.h"
#include "docfile/Document.h"
#include "docfile/Store.h"

namespace ravel {

class FileDocument : public DocumentSource {
 public:
  // Reads the file at `path` (Windows form, absolute). Throws docfile::DocError when it
  // cannot be read or is no document the engine reads.
  // Under Wine, the path of a Windows path on the POSIX host, in Windows form on drive Z:
  // ("Z:\srv\x"); nullopt when there is no such path.
  using HostPathOf = std::function<std::optional<std::string>(const std::string& windows_path)>;
  // With `host_path` (the program runs under Wine), a link that a POSIX program wrote
  // (file:///srv/x) gets its new target in that form again, so the programs of that host
  // still find its file.
  FileDocument(std::string path, docfile::DocStore& store, HostPathOf host_path = nullptr);

  void Read(Form_Main& main) override;
  void Save(Form_Main& main) override;
  std::string Name(Form_Main&) override { return name_; }
  std::string Folder(Form_Main&) override { return folder_; }
  std::string Caption() const override;
  std::string FilePath() const override { return path_; }
  bool CanChangeStoredCopy() const override { return false; }
  bool AskBeforeLeaving(Form_Main& main) override;

  // The type column's text for a kind of link.
  static std::string TypeTextOf(docfile::LinkKind kind);

 private:
  void Load();  // throws docfile::DocError
  // Writes the changed, selected items; false (with a message shown) when the file was not
  // written.
  bool Write(Form_Main& main, int& written, std::string& backup);
  void Refused(Form_Main& main, const docfile::DocError& e);

  std::string path_, folder_, name_;
  docfile::DocStore& store_;
  HostPathOf host_path_;
  std::vector<std::uint8_t> bytes_;  // as read: every save starts from them
  docfile::Stamp stamp_;
  std::vector<docfile::Link> links_;
  bool loaded_now_ = false;  // the first read uses what the constructor read
  bool saved_ = true;        // the last save wrote or had nothing to write
};

}  // namespace ravel
