#include "batch/Csv.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace ravel::batch {

std::ofstream OpenForWriting(const std::string& path) {
  std::u8string name(path.begin(), path.end());
  std::ofstream out(std::filesystem::path(name), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error(path + ": cannot be created");
  return out;
}

CsvReport::CsvReport(const std::string& path, const nlohmann::json& link_record)
    : path_(path), out_(OpenForWriting(path)) {
  static const char* const kFirst[] = {"type",       "document", "part",   "part_kind", "kind",
                                       "target",     "file",     "exists", "stored",    "state",
                                       "new_target", "new_file", "via",    "candidates"};
  for (const char* key : kFirst)
    if (link_record.contains(key)) columns_.push_back(key);
  // Keys added to the link record later land here, so the sheet always has every one.
  for (auto it = link_record.begin(); it != link_record.end(); ++it)
    if (std::find(columns_.begin(), columns_.end(), it.key()) == columns_.end())
      columns_.push_back(it.key());
  for (const char* key : {"reason", "message"})
    if (std::find(columns_.begin(), columns_.end(), key) == columns_.end()) columns_.push_back(key);
  out_ << "\xEF\xBB\xBF";
  Line(columns_);
}

void CsvReport::Row(const nlohmann::json& record) {
  std::vector<std::string> cells;
  for (const std::string& column : columns_) {
    auto it = record.find(column);
    // A document's error text fills the message column.
    if (it == record.end() && column == "message") it = record.find("error");
    cells.push_back(it == record.end() ? std::string() : Cell(*it));
  }
  Line(cells);
}

void CsvReport::Finish(const nlohmann::json& summary) {
  out_.flush();
  if (!out_) throw std::runtime_error(path_ + ": cannot be written");
  out_.close();
  std::string path = SummaryPath(path_);
  std::ofstream sum = OpenForWriting(path);
  sum << "\xEF\xBB\xBF"
      << "key,value\r\n";
  for (auto it = summary.begin(); it != summary.end(); ++it) {
    if (it.key() == "type") continue;
    if (it->is_object()) {
      for (auto st = it->begin(); st != it->end(); ++st)
        sum << Quote(it.key() + "." + st.key()) << ',' << Quote(Cell(*st)) << "\r\n";
    } else {
      sum << Quote(it.key()) << ',' << Quote(Cell(*it)) << "\r\n";
    }
  }
  sum.flush();
  if (!sum) throw std::runtime_error(path + ": cannot be written");
}

std::string CsvReport::Cell(const nlohmann::json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_array()) {
    std::string out;
    for (const nlohmann::json& v : value) out += (out.empty() ? "" : " | ") + Cell(v);
    return out;
  }
  return value.dump();
}

std::string CsvReport::Quote(const std::string& cell) {
  std::string text = cell;
  if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
    text.insert(text.begin(), '\'');
  if (text.find_first_of(",;\"\r\n") == std::string::npos && !text.starts_with(' ') &&
      !text.ends_with(' '))
    return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out += '"';
}

std::string CsvReport::SummaryPath(const std::string& path) {
  std::string base = path;
  std::size_t slash = base.find_last_of("/\\");
  std::size_t dot = base.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
  return base + ".summary.csv";
}

void CsvReport::Line(const std::vector<std::string>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) out_ << (i ? "," : "") << Quote(cells[i]);
  out_ << "\r\n";
}

}  // namespace ravel::batch
