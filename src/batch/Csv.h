// The report as a spreadsheet: one row per link with the columns of the JSON link record,
// in UTF-8 with a byte order mark (so Excel reads every letter right) and CRLF line ends. A
// document that could not be processed and a file passed over get a row too, with the
// document's path, "type", "reason" and "message". The summary goes to a second file beside
// it (NAME.summary.csv), as key and value rows: a table with a different last row would not
// sort or filter.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ravel::batch {

class CsvReport {
 public:
  // The columns are the keys of `link_record` (any link record: the keys are the same in
  // every one), the usual ones first. Throws std::runtime_error when the file cannot be
  // created.
  CsvReport(const std::string& path, const nlohmann::json& link_record);
  // A record of any type: its values under the columns of the same name.
  void Row(const nlohmann::json& record);
  // Writes the summary file; throws std::runtime_error when a file cannot be written.
  void Finish(const nlohmann::json& summary);

  // A JSON value as one cell: text as it is, true/false, empty for null, a list joined by
  // " | " (a character no Windows path holds).
  static std::string Cell(const nlohmann::json& value);
  // The cell quoted for CSV where it must be; a cell a spreadsheet would take for a formula
  // (=, +, -, @) is prefixed with an apostrophe, so a crafted target runs nothing.
  static std::string Quote(const std::string& cell);
  static std::string SummaryPath(const std::string& path);

 private:
  void Line(const std::vector<std::string>& cells);
  std::string path_;
  std::ofstream out_;
  std::vector<std::string> columns_;
};

// A file opened for writing by a UTF-8 name (wide on Windows).
std::ofstream OpenForWriting(const std::string& path);

}  // namespace ravel::batch
