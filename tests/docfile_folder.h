// A scratch folder on the host for the native tests that read and write real files.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ravel::docfile::test {

// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ravel-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
  }
  void TearDown() override { Shell("chmod -R u+rwx . 2>/dev/null; rm -rf '" + root + "'"); }

  // Runs a shell command in the folder; its exit status.
  int Shell(const std::string& command) {
    int status = std::system(("cd '" + root + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Write(const std::string& rel, const std::string& data) {
    std::ofstream(root + "/" + rel, std::ios::binary) << data;
  }
  void Write(const std::string& rel, const std::vector<std::uint8_t>& data) {
    Write(rel, std::string(data.begin(), data.end()));
  }
  std::string Read(const std::string& rel) {
    std::ifstream in(root + "/" + rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::uint8_t> Bytes(const std::string& rel) {
    std::string s = Read(rel);
    return {s.begin(), s.end()};
  }
  // The file as the program names it: on drive Z:, as Wine maps the host's root.
  std::string Win(const std::string& rel) {
    std::string out = "Z:" + root + "/" + rel;
    for (char& c : out)
      if (c == '/') c = '\\';
    return out;
  }

  std::string root;
};

}  // namespace ravel::docfile::test
