// A .docx package read from memory and written back into memory: entries whose data did not
// change are copied as stored (compressed bytes untouched), changed parts are replaced.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "docfile/Errors.h"

namespace ravel::docfile {

struct Limits {
  std::uint64_t max_part = 64ull << 20;     // one part read into memory for parsing
  std::uint64_t max_expanded = 2ull << 30;  // all entries of the package together
  std::uint64_t max_entries = 50000;
};

class Package {
 public:
  // Throws DocError (not a zip, encrypted, legacy binary document, too large).
  Package(std::vector<std::uint8_t> bytes, const Limits& limits);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  bool Has(const std::string& name) const { return index_.count(name) != 0; }
  // The entry names in package order.
  const std::vector<std::string>& Names() const { return names_; }
  // The data of an entry; throws DocError when it is missing, too large or unreadable.
  std::string Read(const std::string& name) const;

  // The whole package with the given parts replaced (by name); every other entry keeps its
  // compressed data, method and time. Throws DocError.
  std::vector<std::uint8_t> Write(const std::map<std::string, std::string>& replaced) const;

 private:
  struct Zip;
  std::vector<std::uint8_t> bytes_;
  std::unique_ptr<Zip> zip_;
  Limits limits_;
  std::vector<std::string> names_;
  std::map<std::string, std::uint64_t> index_;
};

}  // namespace ravel::docfile
