// The batch command's tests: a scratch folder of documents and the command run on it in
// process, with its output and JSON records at hand.
#pragma once

#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch/Batch.h"
#include "batch/HostPaths.h"
#include "docfile/PosixStore.h"
#include "docfile/PosixWalk.h"
#include "docfile_folder.h"
#include "docfile_support.h"
#include "posix/PosixFileSystem.h"

namespace ravel::batch::test {

using namespace docfile::test;

// Counts the listings of one folder, to tell how often a tree was walked.
class CountingFs : public FileSystem {
 public:
  explicit CountingFs(PosixFileSystem& fs) : fs_(fs) {}
  bool CanOpenForReading(const std::string& path) override { return fs_.CanOpenForReading(path); }
  std::unique_ptr<DirListing> List(const std::string& pattern) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);  // documents are read on several threads
      ++lists[pattern];
    }
    return fs_.List(pattern);
  }
  std::optional<FolderId> IdOf(const std::string& folder) override { return fs_.IdOf(folder); }
  std::map<std::string, int> lists;

 private:
  PosixFileSystem& fs_;
  std::mutex mutex_;
};

class BatchFolder : public ScratchFolder {
 protected:
  // A document linking to each of the targets in line.
  void Doc(const std::string& rel, const std::vector<std::string>& targets) {
    std::string markup;
    std::vector<Rel> rels;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      markup += Inline("rId" + std::to_string(i + 1));
      rels.push_back({"rId" + std::to_string(i + 1), kImageType, targets[i]});
    }
    Write(rel, Zip(Standard(Body(markup), Rels(rels))));
  }
  std::string RelsOf(const std::string& rel) {
    return EntryData(Bytes(rel), "word/_rels/document.xml.rels");
  }
  // The JSON records printed, all or those of one type.
  std::vector<nlohmann::json> Records(const std::string& type = "") {
    std::vector<nlohmann::json> rows;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
      nlohmann::json j = nlohmann::json::parse(line);
      if (type.empty() || j["type"] == type) rows.push_back(j);
    }
    return rows;
  }
  nlohmann::json Summary() { return Records("summary").at(0); }
  // Whether the summary has every field of `want` (of a nested object, the fields named).
  ::testing::AssertionResult SummaryHas(const nlohmann::json& want) {
    nlohmann::json s = Summary(), merged = s;
    merged.merge_patch(want);
    if (merged == s) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "summary " << s.dump() << " lacks " << want.dump();
  }
  // One field of every link record, as text ("null" where it has none).
  std::vector<std::string> Column(const std::string& key) {
    std::vector<std::string> values;
    for (nlohmann::json& j : Records("link"))
      values.push_back(j[key].is_string() ? j[key].get<std::string>() : j[key].dump());
    return values;
  }
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    auto absolute = [&](const std::string& a) { return HostToWindows(a, root); };
    Host host{counting, store, out, err, false, true, absolute, WindowsToHost, nullptr, true};
    if (walk) host.walker = &walker;
    return batch::Run(args, host);
  }

  PosixFileSystem fs;
  CountingFs counting{fs};
  docfile::PosixStore store{fs};
  docfile::PosixWalker walker{fs};
  bool walk = true;  // through the walker, as the command does; else through `counting`
  std::ostringstream out, err;
};

}  // namespace ravel::batch::test
