#include "docfile/Package.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace ravel::docfile {

namespace {

constexpr std::uint8_t kCompoundFile[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Whether a compound file names a stream: its directory holds the names in UTF-16. An
// encrypted Office document is a compound file with the stream "EncryptedPackage"; the
// others are Office 97-2003 documents, told apart by their main stream.
bool HasStream(const std::vector<std::uint8_t>& bytes, std::string_view name) {
  std::vector<std::uint8_t> wide;
  for (char c : name) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(0);
  }
  return std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end()) != bytes.end();
}

std::string ZipMessage(zip_error_t* error) {
  const char* text = zip_error_strerror(error);
  return text != nullptr ? text : "unknown zip error";
}

}  // namespace

const char* ReasonName(Reason reason) {
  switch (reason) {
    case Reason::NotZip:
      return "not-zip";
    case Reason::Encrypted:
      return "encrypted";
    case Reason::LegacyBinary:
      return "legacy-binary";
    case Reason::BadXml:
      return "bad-xml";
    case Reason::TooLarge:
      return "too-large";
    case Reason::Unreadable:
      return "unreadable";
    case Reason::ReadOnly:
      return "read-only";
    case Reason::Locked:
      return "locked";
    case Reason::Vanished:
      return "vanished";
    case Reason::Changed:
      return "changed";
    case Reason::WriteFailed:
      return "write-failed";
    case Reason::NotRegular:
      return "not-regular";
    case Reason::UnknownFormat:
      return "unknown-format";
  }
  return "error";
}

struct Package::Zip {
  zip_t* archive = nullptr;
  ~Zip() {
    if (archive != nullptr) zip_discard(archive);
  }
};

Package::Package(std::vector<std::uint8_t> bytes, const Limits& limits)
    : bytes_(std::move(bytes)), zip_(std::make_unique<Zip>()), limits_(limits) {
  if (bytes_.size() >= 8 && std::memcmp(bytes_.data(), kCompoundFile, 8) == 0) {
    if (HasStream(bytes_, "EncryptedPackage"))
      throw DocError(Reason::Encrypted,
                     "encrypted with a password: remove the password in Office, then run again");
    // A document may hold another program's document as an object: its own main stream
    // is looked for first.
    if (HasStream(bytes_, "WordDocument"))
      throw DocError(Reason::LegacyBinary,
                     "legacy binary Word document: needs Word: open it in Word and use Ravelmend");
    if (HasStream(bytes_, "PowerPoint Document"))
      throw DocError(Reason::LegacyBinary,
                     "legacy binary PowerPoint presentation: needs Office: save it as .pptx in "
                     "PowerPoint, then run again");
    if (HasStream(bytes_, "Workbook"))
      throw DocError(Reason::LegacyBinary,
                     "legacy binary Excel workbook: needs Office: save it as .xlsx in Excel, "
                     "then run again");
    throw DocError(Reason::LegacyBinary,
                   "legacy binary Office document: needs Office: open it there and save it in "
                   "the current format");
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
  if (source == nullptr) {
    std::string message = ZipMessage(&error);
    zip_error_fini(&error);
    throw DocError(Reason::Unreadable, "cannot read the package: " + message);
  }
  zip_->archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (zip_->archive == nullptr) {
    zip_source_free(source);
    int code = zip_error_code_zip(&error);
    std::string message = ZipMessage(&error);
    zip_error_fini(&error);
    if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS)
      throw DocError(Reason::NotZip, "not an Office document (not a zip package)");
    throw DocError(Reason::Unreadable, "damaged package: " + message);
  }
  zip_error_fini(&error);

  zip_int64_t count = zip_get_num_entries(zip_->archive, 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > limits_.max_entries)
    throw DocError(Reason::TooLarge, "the package has too many entries");
  std::uint64_t expanded = 0;
  std::set<std::string> folded_names;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(zip_->archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
        st.name == nullptr)
      throw DocError(Reason::Unreadable, "damaged package: an entry cannot be read");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
      throw DocError(Reason::Encrypted, "encrypted package entries: cannot be read");
    if (st.valid & ZIP_STAT_SIZE) {
      expanded += st.size;
      if (expanded > limits_.max_expanded)
        throw DocError(Reason::TooLarge, "the package expands to more than " +
                                             std::to_string(limits_.max_expanded >> 20) + " MB");
    }
    // Part names are equal without regard to ASCII case; a second entry of one name makes
    // the package ambiguous, and no writer could keep both.
    std::string folded = st.name;
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (!folded_names.insert(folded).second)
      throw DocError(Reason::NotZip,
                     std::string("damaged package: the entry ") + st.name + " appears twice");
    names_.emplace_back(st.name);
    index_[st.name] = static_cast<std::uint64_t>(i);
  }
}

Package::~Package() = default;

std::string Package::Read(const std::string& name) const {
  auto it = index_.find(name);
  if (it == index_.end()) throw DocError(Reason::Unreadable, "missing part " + name);
  zip_stat_t st;
  if (zip_stat_index(zip_->archive, it->second, 0, &st) != 0)
    throw DocError(Reason::Unreadable, "cannot read part " + name);
  if ((st.valid & ZIP_STAT_SIZE) && st.size > limits_.max_part)
    throw DocError(Reason::TooLarge, "part " + name + " is larger than " +
                                         std::to_string(limits_.max_part >> 20) + " MB");
  zip_file_t* file = zip_fopen_index(zip_->archive, it->second, 0);
  if (file == nullptr)
    throw DocError(Reason::Unreadable,
                   "cannot read part " + name + ": " + ZipMessage(zip_get_error(zip_->archive)));
  std::string data;
  char buffer[65536];
  for (;;) {
    zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
    if (n < 0) {
      std::string message = ZipMessage(zip_file_get_error(file));
      zip_fclose(file);
      throw DocError(Reason::Unreadable, "cannot read part " + name + ": " + message);
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    // The stated size may lie; the data read is what counts.
    if (data.size() > limits_.max_part) {
      zip_fclose(file);
      throw DocError(Reason::TooLarge, "part " + name + " is larger than " +
                                           std::to_string(limits_.max_part >> 20) + " MB");
    }
  }
  zip_fclose(file);
  return data;
}

std::vector<std::uint8_t> Package::Write(const std::map<std::string, std::string>& replaced) const {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (target == nullptr) {
    zip_error_fini(&error);
    throw DocError(Reason::WriteFailed, "cannot create the new package");
  }
  zip_source_keep(target);
  zip_t* out = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  zip_error_fini(&error);
  auto fail = [&](const std::string& what) {
    std::string message = out != nullptr ? ZipMessage(zip_get_error(out)) : "";
    if (out != nullptr) zip_discard(out);
    zip_source_free(target);
    throw DocError(Reason::WriteFailed, what + (message.empty() ? "" : ": " + message));
  };
  if (out == nullptr) fail("cannot create the new package");

  for (std::size_t i = 0; i < names_.size(); ++i) {
    const std::string& name = names_[i];
    zip_stat_t st;
    if (zip_stat_index(zip_->archive, i, 0, &st) != 0) fail("cannot read entry " + name);
    zip_source_t* data = nullptr;
    auto change = replaced.find(name);
    std::uint16_t method = st.comp_method;
    if (change != replaced.end()) {
      // The buffer lives in `replaced` until the archive is closed below.
      data = zip_source_buffer(out, change->second.data(), change->second.size(), 0);
      method = ZIP_CM_DEFLATE;
    } else {
      data = zip_source_zip(out, zip_->archive, i, ZIP_FL_COMPRESSED, 0, -1);
    }
    if (data == nullptr) fail("cannot copy entry " + name);
    zip_int64_t index = zip_file_add(out, name.c_str(), data, ZIP_FL_ENC_GUESS);
    if (index < 0) {
      zip_source_free(data);
      fail("cannot add entry " + name);
    }
    auto at = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(out, at, method, 0) != 0)
      fail("cannot keep the method of " + name);
    if ((st.valid & ZIP_STAT_MTIME) && zip_file_set_mtime(out, at, st.mtime, 0) != 0)
      fail("cannot keep the time of " + name);
  }
  if (zip_close(out) != 0) fail("cannot write the new package");
  out = nullptr;

  std::vector<std::uint8_t> bytes;
  zip_stat_t st;
  if (zip_source_stat(target, &st) != 0 || zip_source_open(target) != 0) fail("cannot read back");
  bytes.resize(static_cast<std::size_t>(st.size));
  zip_int64_t n = bytes.empty() ? 0 : zip_source_read(target, bytes.data(), bytes.size());
  zip_source_close(target);
  zip_source_free(target);
  if (n != static_cast<zip_int64_t>(bytes.size()))
    throw DocError(Reason::WriteFailed, "cannot read back the new package");
  return bytes;
}

}  // namespace ravel::docfile
