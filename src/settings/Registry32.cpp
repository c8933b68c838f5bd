#include "settings/Registry32.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "app/Host.h"

namespace ravel {

const char* const kRegErrorMarker = "!Error!";

namespace {

constexpr const char* kAppTitle = "Ravelmend";

bool IsStringType(std::uint32_t t) {
  return t == kRegSz || t == kRegExpandSz || t == kRegMultiSz;
}

// The kind names the message of an unexpected REG_DWORD value shows.
const char* KindName(const RegValue& v) {
  switch (v.index()) {
    case 0:
      return "Integer";
    case 1:
      return "Long";
    case 2:
      return "String";
    case 3:
      return "Double";
    default:
      return "Boolean";
  }
}

// A text as a signed 32-bit number: blanks around it allowed, a fraction rounded half to
// even. False when it is no number or out of range.
bool ParseLong(const std::string& text, std::int32_t& out) {
  std::size_t b = text.find_first_not_of(" \t");
  std::size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return false;
  std::string t = text.substr(b, e - b + 1);
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end != '\0' || !std::isfinite(d)) return false;
  d = std::nearbyint(d);
  if (d < -2147483648.0 || d > 2147483647.0) return false;
  out = static_cast<std::int32_t>(d);
  return true;
}

bool ToLong(const RegValue& v, std::int32_t& out) {
  switch (v.index()) {
    case 0:
      out = std::get<std::int16_t>(v);
      return true;
    case 1:
      out = std::get<std::int32_t>(v);
      return true;
    case 2:
      return ParseLong(std::get<std::string>(v), out);
    case 3: {
      double d = std::nearbyint(std::get<double>(v));
      if (!std::isfinite(d) || d < -2147483648.0 || d > 2147483647.0) return false;
      out = static_cast<std::int32_t>(d);
      return true;
    }
    default:
      out = std::get<bool>(v) ? -1 : 0;  // True is -1 as a number
      return true;
  }
}

std::string TextOfValue(const RegValue& v) {
  switch (v.index()) {
    case 0:
      return std::to_string(std::get<std::int16_t>(v));
    case 1:
      return std::to_string(std::get<std::int32_t>(v));
    case 2:
      return std::get<std::string>(v);
    case 3: {
      std::string s = std::to_string(std::get<double>(v));
      s.erase(s.find_last_not_of('0') + 1);
      if (!s.empty() && s.back() == '.') s.pop_back();
      return s;
    }
    default:
      return std::get<bool>(v) ? "True" : "False";
  }
}

}  // namespace

void Registry32::Say(const std::string& text) {
  host_.MessageBox(text, kAppTitle, kMbOk);
}

void Registry32::ReportRegistryError(RegStatus status, int level) {
  if (level < 1 || level > 3) return;
  bool known = false;
  const char* message = nullptr;
  // Group 1, from level 1 on.
  switch (status) {
    case 0:
      known = true;
      break;
    case 5:
      known = true;
      message =
          "Access to Registry Denied. (Maybe the Result of error deleting a Key which includes "
          "one or more Subkeys in itself)";
      break;
    case 1011:
      known = true;
      message = "Cannot Open Key";
      break;
    case 1012:
      known = true;
      message = "Cannot Read Key";
      break;
    case 1013:
      known = true;
      message = "Cannot Write Key";
      break;
    default:
      break;
  }
  if (level >= 2) {
    switch (status) {
      case 0:
        known = true;
        break;
      case 2:
        known = true;
        message = "Key couldn't be found";
        break;
      case 1009:
        known = true;
        message = "Corrupt Registry Database!";
        break;
      default:
        break;
    }
  }
  if (level >= 3) {
    switch (status) {
      case 0:
      case 259:
        known = true;
        break;
      case 14:
        known = true;
        message = "Out of memory";
        break;
      case 87:
        known = true;
        message = "Invalid Parameter";
        break;
      case 161:
        known = true;
        message = "Invalid Path given";
        break;
      case 1010:
        known = true;
        message = "Key name is bad";
        break;
      default:
        break;
    }
    if (!known) {
      Say("Undefinied key error code! (" + std::to_string(status) + ")");
      return;
    }
  }
  if (message != nullptr) Say(message);
}

RegStatus Registry32::OpenRegistryKey(HKey parent, const std::string& path, HKey& key, int level) {
  RegStatus s = api_.OpenKeyEx(parent, path, kKeyAllAccess, key);
  ReportRegistryError(s, level);
  return s;
}

RegStatus Registry32::CreateRegistryKey(HKey parent, const std::string& path, HKey& key,
                                        int level) {
  RegStatus s = api_.CreateKeyEx(parent, path, kKeyAllAccess, key);
  ReportRegistryError(s, level);
  return s;
}

RegStatus Registry32::CloseRegistryKey(HKey key, int level) {
  RegStatus s = api_.CloseKey(key);
  ReportRegistryError(s, level);
  return s;
}

std::string Registry32::ReadRegistryValue(HKey key, const std::string& name, std::string& value,
                                          std::uint32_t& type, int level,
                                          std::vector<std::string>* list) {
  std::uint32_t requested = type;
  bool handled = requested == kRegSz || requested == kRegExpandSz || requested == kRegBinary ||
                 requested == kRegDword || requested == kRegMultiSz;
  if (!handled) {
    if (level == 2) Say("Data-Type couldn't be read! (1,2)");
    return level == 1 || level == 2 ? kRegErrorMarker : "";
  }

  std::array<std::uint8_t, kRegReadBuffer> buffer{};
  std::uint32_t size = kRegReadBuffer;
  std::uint32_t stored = 0;
  RegStatus s = api_.QueryValueEx(key, name, stored, buffer.data(), size);
  type = stored;
  ReportRegistryError(s, level);
  std::string result = std::to_string(s);
  value.clear();
  if (s != 0) return result;
  // Only what the registry returned counts, whatever length it claims.
  std::size_t n = std::min<std::size_t>(size, buffer.size());
  const char* chars = reinterpret_cast<const char*>(buffer.data());

  switch (requested) {
    case kRegSz:
    case kRegExpandSz:
      // The text up to its terminating zero; data stored without one is taken whole, data of
      // another type gives no text.
      if (IsStringType(stored)) value.assign(chars, std::find(chars, chars + n, '\0'));
      break;
    case kRegBinary:
      value = BytesToHex(buffer.data(), n);
      break;
    case kRegDword:
      if (n == 4) value = HexToDecimal(ReversedBytesToHex(buffer.data(), 4));
      break;
    case kRegMultiSz: {
      std::vector<std::string> strings;
      if (IsStringType(stored)) {
        std::size_t at = 0;
        do {
          const char* from = chars + at;
          const char* to = std::find(from, chars + n, '\0');
          strings.emplace_back(from, to);
          at = static_cast<std::size_t>(to - chars) + 1;
        } while (at < n && chars[at] != '\0' && !strings.back().empty());
      } else {
        strings.emplace_back();
      }
      value = strings.front();
      if (list != nullptr) *list = std::move(strings);
      break;
    }
    default:
      break;
  }
  return result;
}

RegResult Registry32::WriteRegistryValue(HKey key, const std::string& name, const RegValue& value,
                                         std::uint32_t type, int level,
                                         const std::vector<std::string>* extra) {
  std::string data;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      data = TextOfValue(value);
      data.push_back('\0');
      break;
    case kRegDword: {
      if (value.index() > 2 && level == 2)
        Say(std::string("The Datatype you've given to write as REG_DWORD is not handled "
                        "explicitly ( ") +
            KindName(value) + " ).\r\n Check the Results !");
      std::int32_t n = 0;
      if (!ToLong(value, n)) {
        // A text that is no number is not written as some number.
        ReportRegistryError(kErrorInvalidParameter, level);
        return kErrorInvalidParameter;
      }
      auto u = static_cast<std::uint32_t>(n);
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
      break;
    }
    case kRegMultiSz:
      data = TextOfValue(value);
      data.push_back('\0');
      if (extra != nullptr) {
        for (const std::string& s : *extra) {
          if (s.empty() || s == std::string(1, '\0')) continue;
          data += s;
          data.push_back('\0');
        }
      }
      data.push_back('\0');
      break;
    default:
      if (level == 2) Say("Data-Type couldn't be written!");
      return std::string(level == 1 || level == 2 ? kRegErrorMarker : "");
  }
  RegStatus s = api_.SetValueEx(key, name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                                static_cast<std::uint32_t>(data.size()));
  ReportRegistryError(s, level);
  return s;
}

RegStatus Registry32::EnumRegistrySubkey(HKey key, std::uint32_t index, std::string& name,
                                         bool& end, int level) {
  std::array<char, kRegEnumBuffer> buffer{};
  RegStatus s = api_.EnumKey(key, index, buffer.data(), kRegEnumBuffer);
  ReportRegistryError(s, level);
  if (s == kErrorNoMoreItems) {
    end = true;
    return 0;
  }
  end = false;
  if (s == 0) name.assign(buffer.data(), std::find(buffer.begin(), buffer.end(), '\0'));
  return s;
}

void Registry32::DeleteRegistryKey(HKey parent, const std::string& path, int level) {
  ReportRegistryError(api_.DeleteKey(parent, path), level);
}

void Registry32::DeleteRegistryKeyTree(HKey parent, const std::string& path, int level) {
  DeleteTree(parent, path, level);
}

// True when the key is gone. A subkey that cannot be removed is passed over (the
// enumeration goes on behind it), so a refusal can never make the walk go round forever.
bool Registry32::DeleteTree(HKey parent, const std::string& path, int level) {
  HKey key = 0;
  if (OpenRegistryKey(parent, path, key, level) != 0) return false;
  std::uint32_t index = 0;
  RegStatus s = 0;
  for (;;) {
    std::string name;
    bool end = false;
    s = EnumRegistrySubkey(key, index, name, end, level);
    if (s == kErrorMoreData) {
      // A name longer than the enumeration buffer cannot be named here: passed over.
      ++index;
      continue;
    }
    if (s != 0 || end) break;
    if (!DeleteTree(parent, path + "\\" + name, level)) ++index;
  }
  CloseRegistryKey(key, level);
  if (s != 0) return false;
  RegStatus d = api_.DeleteKey(parent, path);
  ReportRegistryError(d, level);
  return d == 0;
}

std::string ParentKeyPath(const std::string& path) {
  std::size_t at = path.rfind('\\');
  return at == std::string::npos ? path : path.substr(0, at);
}

std::string BytesToHex(const std::uint8_t* bytes, std::size_t n) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0xF]);
  }
  return out;
}

std::string ReversedBytesToHex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  for (std::size_t i = n; i-- > 0;) out += BytesToHex(bytes + i, 1);
  return out;
}

std::string HexToDecimal(const std::string& hex) {
  if (hex.empty() || hex.size() > 16) return "";
  std::uint64_t sum = 0;
  for (char c : hex) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      return "";
    sum = sum * 16 + static_cast<std::uint64_t>(d);
  }
  return std::to_string(sum);
}

}  // namespace ravel
