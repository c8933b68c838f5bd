// The registry layer's cases, run against any registry: the memory registry natively and the
// real (Wine) registry through the advapi32 adapter. The including file defines
// MakeRegistryUnderTest(); every case works beneath a scratch key of HKEY_CURRENT_USER.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/Registry32.h"
#include "sim/ScriptedHost.h"

std::unique_ptr<ravel::RegistryApi> MakeRegistryUnderTest();

namespace ravel::regcases {

const std::string kScratch = "Software\\Norquill\\RavelmendLayerTest";

class RegistryLayer : public ::testing::Test {
 protected:
  RegistryLayer() : api(MakeRegistryUnderTest()), reg(*api, host) {}
  void SetUp() override {
    reg.DeleteRegistryKeyTree(kHkeyCurrentUser, kScratch, 0);
    ASSERT_EQ(reg.CreateRegistryKey(kHkeyCurrentUser, kScratch, key, 0), 0);
  }
  void TearDown() override {
    reg.CloseRegistryKey(key, 0);
    reg.DeleteRegistryKeyTree(kHkeyCurrentUser, kScratch, 0);
    HKey gone = 0;
    EXPECT_EQ(api->OpenKeyEx(kHkeyCurrentUser, kScratch, kKeyAllAccess, gone), 2);
  }

  // Plants raw data, as another program might have written it.
  void Plant(const std::string& name, std::uint32_t type, const std::string& bytes) {
    ASSERT_EQ(api->SetValueEx(key, name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              static_cast<std::uint32_t>(bytes.size())),
              0);
  }
  // The stored bytes and type of a value.
  std::string Stored(const std::string& name, std::uint32_t* type = nullptr) {
    std::uint8_t buf[1024];
    std::uint32_t size = sizeof buf, t = 0;
    if (api->QueryValueEx(key, name, t, buf, size) != 0) return "(missing)";
    if (type != nullptr) *type = t;
    return std::string(reinterpret_cast<char*>(buf), size);
  }
  struct Read {
    std::string status, value;
    std::uint32_t type;
  };
  Read ReadAs(const std::string& name, std::uint32_t type, int level = 0) {
    Read r{"", "(untouched)", type};
    r.status = reg.ReadRegistryValue(key, name, r.value, r.type, level);
    return r;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& b : host.boxes) out.push_back(b.text);
    return out;
  }

  sim::ScriptedHost host;
  std::unique_ptr<RegistryApi> api;
  Registry32 reg;
  HKey key = 0;
};

using Msgs = std::vector<std::string>;

TEST_F(RegistryLayer, TextsAreStoredWithTheirZeroAndDataOfAnyShapeReadsSafely) {
  EXPECT_EQ(std::get<RegStatus>(reg.WriteRegistryValue(key, "One", std::string("1"), kRegSz, 0)),
            0);
  std::uint32_t type = 0;
  EXPECT_EQ(Stored("One", &type), std::string("1\0", 2));
  EXPECT_EQ(type, kRegSz);
  reg.WriteRegistryValue(key, "Path", std::string("%TEMP%\\x"), kRegExpandSz, 0);
  EXPECT_EQ(ReadAs("Path", kRegExpandSz).value, "%TEMP%\\x");

  struct Case {
    const char* label;
    std::uint32_t type;
    std::string bytes;
    const char* status;
    std::string value;
  };
  const Case cases[] = {
      {"empty text", kRegSz, std::string(1, '\0'), "0", ""},
      {"zero bytes", kRegSz, "", "0", ""},
      {"no terminating zero", kRegSz, "1", "0", "1"},
      {"two terminating zeros", kRegSz, std::string("ab\0\0", 4), "0", "ab"},
      {"a blank before the digit", kRegSz, std::string(" 1\0", 3), "0", " 1"},
      {"254 characters fit", kRegSz, std::string(254, 'x') + '\0', "0", std::string(254, 'x')},
      {"longer than the buffer", kRegSz, std::string(300, 'x') + '\0', "234", ""},
      {"a number, not a text", kRegDword, std::string("\x01\0\0\0", 4), "0", ""},
      {"bytes, not a text", kRegBinary, std::string("1\0", 2), "0", ""},
      {"expandable text, as stored", kRegExpandSz, std::string("%TEMP%\0", 7), "0", "%TEMP%"},
      {"several texts: the first", kRegMultiSz, std::string("1\0x\0\0", 5), "0", "1"},
  };
  for (const Case& c : cases) {
    Plant("V", c.type, c.bytes);
    Read r = ReadAs("v", kRegSz);  // names compare without case
    EXPECT_EQ(r.status, c.status) << c.label;
    EXPECT_EQ(r.value, c.value) << c.label;
    EXPECT_EQ(r.type, c.type) << c.label;  // the stored type comes back
  }
  Read missing = ReadAs("Nothing", kRegSz);
  EXPECT_EQ(missing.status, "2");
  EXPECT_EQ(missing.value, "");
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(RegistryLayer, DwordsAreWrittenLittleEndianAndReadAsUnsignedDecimal) {
  struct Case {
    const char* label;
    RegValue value;
    std::string stored;
  };
  const Case cases[] = {
      {"16-bit", std::int16_t{-1}, std::string("\xFF\xFF\xFF\xFF", 4)},
      {"32-bit", std::int32_t{305419896}, std::string("\x78\x56\x34\x12", 4)},
      {"text", std::string(" 42 "), std::string("\x2A\0\0\0", 4)},
      {"negative text", std::string("-2"), std::string("\xFE\xFF\xFF\xFF", 4)},
      {"largest text", std::string("2147483647"), std::string("\xFF\xFF\xFF\x7F", 4)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::get<RegStatus>(reg.WriteRegistryValue(key, "D", c.value, kRegDword, 2)), 0)
        << c.label;
    std::uint32_t type = 0;
    EXPECT_EQ(Stored("D", &type), c.stored) << c.label;
    EXPECT_EQ(type, kRegDword) << c.label;
  }
  EXPECT_TRUE(host.boxes.empty()) << "integers and texts are handled explicitly";

  const std::pair<std::string, const char*> reads[] = {
      {std::string("\x01\0\0\0", 4), "1"},
      {std::string("\xFF\xFF\xFF\xFF", 4), "4294967295"},
      {std::string("\x78\x56\x34\x12", 4), "305419896"},
      {std::string("\0\0\0\x80", 4), "2147483648"},
  };
  for (const auto& [bytes, text] : reads) {
    Plant("D", kRegDword, bytes);
    Read r = ReadAs("D", kRegDword);
    EXPECT_EQ(r.status, "0");
    EXPECT_EQ(r.value, text);
  }
  // Three bytes are no number: no text, and nothing read beyond them.
  Plant("D", kRegBinary, std::string("\x01\x02\x03", 3));
  EXPECT_EQ(ReadAs("D", kRegDword).value, "");
}

TEST_F(RegistryLayer, OtherKindsWrittenAsDwordAreConvertedWithAWarningAtLevelTwo) {
  struct Case {
    RegValue value;
    int level;
    std::string stored;
    Msgs messages;
  };
  const std::string warn =
      "The Datatype you've given to write as REG_DWORD is not handled "
      "explicitly ( ";
  const Case cases[] = {
      {2.5, 2, std::string("\x02\0\0\0", 4), {warn + "Double ).\r\n Check the Results !"}},
      {3.5, 1, std::string("\x04\0\0\0", 4), {}},
      {true, 2, std::string("\xFF\xFF\xFF\xFF", 4), {warn + "Boolean ).\r\n Check the Results !"}},
      {false, 3, std::string("\0\0\0\0", 4), {}}};
  for (const Case& c : cases) {
    host.boxes.clear();
    EXPECT_EQ(std::get<RegStatus>(reg.WriteRegistryValue(key, "D", c.value, kRegDword, c.level)),
              0);
    EXPECT_EQ(Stored("D"), c.stored);
    EXPECT_EQ(Messages(), c.messages);
  }
  // A text that is no number is not written at all.
  Plant("D", kRegDword, std::string("\x07\0\0\0", 4));
  EXPECT_EQ(std::get<RegStatus>(reg.WriteRegistryValue(key, "D", std::string("abc"), kRegDword, 0)),
            87);
  EXPECT_EQ(Stored("D"), std::string("\x07\0\0\0", 4));
}

// Binary reads as hex; the types the layer does not handle are neither written nor read,
// and answer by level: the error marker at 1 and 2, a message at 2, nothing at 0 and 3.
TEST_F(RegistryLayer, BinaryReadsAsHexAndUnhandledTypesAnswerByLevel) {
  Plant("B", kRegBinary, std::string("\x01\xAB\x00\x10", 4));
  EXPECT_EQ(ReadAs("B", kRegBinary).value, "01AB0010");
  Plant("B", kRegBinary, "");
  EXPECT_EQ(ReadAs("B", kRegBinary).value, "");

  reg.WriteRegistryValue(key, "V", std::string("stored"), kRegSz, 0);
  const std::string written = "Data-Type couldn't be written!",
                    read = "Data-Type couldn't be read! (1,2)";
  struct Case {
    bool write;
    std::uint32_t type;
    int level;
    std::string result;
    Msgs messages;
  };
  const Case cases[] = {
      {true, kRegBinary, 0, "", {}},
      {true, kRegBinary, 1, "!Error!", {}},
      {true, kRegBinary, 2, "!Error!", {written}},
      {true, kRegBinary, 3, "", {}},
      {true, kRegDwordBigEndian, 2, "!Error!", {written}},
      {true, kRegLink, 1, "!Error!", {}},
      {true, 0, 2, "!Error!", {written}},
      {true, 11, 1, "!Error!", {}},
      {false, kRegDwordBigEndian, 0, "", {}},
      {false, kRegDwordBigEndian, 1, "!Error!", {}},
      {false, kRegLink, 2, "!Error!", {read}},
      {false, 0, 2, "!Error!", {read}},
      {false, 8, 3, "", {}},
      {false, kRegDwordBigEndian, 3, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.write ? "write " : "read ") + std::to_string(c.type) + " at " +
                 std::to_string(c.level));
    host.boxes.clear();
    if (c.write) {
      RegResult r = reg.WriteRegistryValue(key, "W", std::string("x"), c.type, c.level);
      ASSERT_TRUE(std::holds_alternative<std::string>(r));
      EXPECT_EQ(std::get<std::string>(r), c.result);
      EXPECT_EQ(Stored("W"), "(missing)") << "nothing is written";
    } else {
      std::string value = "keep";
      std::uint32_t type = c.type;
      EXPECT_EQ(reg.ReadRegistryValue(key, "V", value, type, c.level), c.result);
      EXPECT_EQ(value, "keep");
    }
    EXPECT_EQ(Messages(), c.messages);
  }
}

TEST_F(RegistryLayer, MultiStringsCarryTheExtraTextsAndReadIntoAList) {
  std::vector<std::string> extra = {"b", "", std::string(1, '\0'), "c"};
  reg.WriteRegistryValue(key, "M", std::string("a"), kRegMultiSz, 0, &extra);
  EXPECT_EQ(Stored("M"), std::string("a\0b\0c\0\0", 7));
  std::vector<std::string> list = {"old", "old", "old", "old", "old"};
  std::string value;
  std::uint32_t type = kRegMultiSz;
  EXPECT_EQ(reg.ReadRegistryValue(key, "M", value, type, 0, &list), "0");
  EXPECT_EQ(value, "a");
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c"}));

  reg.WriteRegistryValue(key, "M", std::string("x"), kRegMultiSz, 0);
  EXPECT_EQ(Stored("M"), std::string("x\0\0", 3));

  Plant("M", kRegMultiSz, std::string(2, '\0'));
  reg.ReadRegistryValue(key, "M", value, type, 0, &list);
  EXPECT_EQ(value, "");
  EXPECT_EQ(list, (std::vector<std::string>{""}));

  // Without the closing zeros nothing is read past the data.
  Plant("M", kRegMultiSz, std::string("p\0q", 3));
  reg.ReadRegistryValue(key, "M", value, type, 0, &list);
  EXPECT_EQ(list, (std::vector<std::string>{"p", "q"}));
}

TEST_F(RegistryLayer, KeysOpenCreateAndEnumerate) {
  HKey sub = 0, again = 0, missing = 0;
  ASSERT_EQ(reg.CreateRegistryKey(key, "Beta", sub, 0), 0);
  reg.CloseRegistryKey(sub, 0);
  ASSERT_EQ(reg.CreateRegistryKey(key, "Alpha\\Deep", sub, 0), 0);
  reg.CloseRegistryKey(sub, 0);
  // Creating an existing key opens it.
  ASSERT_EQ(reg.CreateRegistryKey(key, "beta", again, 0), 0);
  EXPECT_EQ(reg.CloseRegistryKey(again, 0), 0);
  EXPECT_EQ(reg.OpenRegistryKey(key, "Gamma", missing, 0), 2);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(reg.OpenRegistryKey(key, "Gamma", missing, 2), 2);
  EXPECT_EQ(Messages(), Msgs{"Key couldn't be found"});

  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    std::string name = "?";
    bool end = false;
    ASSERT_EQ(reg.EnumRegistrySubkey(key, i, name, end, 3), 0);
    if (end) break;
    names.push_back(name);
    ASSERT_LT(i, 10u);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_EQ(Messages().size(), 1u) << "259 is no error, at any level";

  // A name longer than the 100-character buffer.
  std::string longname(120, 'n');
  ASSERT_EQ(reg.CreateRegistryKey(key, longname, sub, 0), 0);
  reg.CloseRegistryKey(sub, 0);
  std::string name;
  bool end = true;
  EXPECT_EQ(reg.EnumRegistrySubkey(key, 2, name, end, 0), 234);
  EXPECT_FALSE(end);
  // The tree deletion passes over what it cannot name and removes the rest.
  for (std::string path : {"L\\" + longname, std::string("L\\Zeta")}) {
    ASSERT_EQ(reg.CreateRegistryKey(key, path, sub, 0), 0);
    reg.CloseRegistryKey(sub, 0);
  }
  reg.DeleteRegistryKeyTree(key, "L", 0);
  EXPECT_EQ(reg.OpenRegistryKey(key, "L\\Zeta", sub, 0), 2);
  EXPECT_EQ(reg.OpenRegistryKey(key, "L\\" + longname, sub, 0), 0);
  reg.CloseRegistryKey(sub, 0);
  reg.DeleteRegistryKey(key, "L\\" + longname, 0);
  reg.DeleteRegistryKey(key, longname, 0);
}

TEST_F(RegistryLayer, AKeyWithSubkeysIsNotDeletedAloneButTheTreeGoesDeepestFirst) {
  for (const char* path : {"T\\B\\D", "T\\B\\E", "T\\C", "T\\A"}) {
    HKey k = 0;
    ASSERT_EQ(reg.CreateRegistryKey(key, path, k, 0), 0);
    reg.WriteRegistryValue(k, "v", std::string("x"), kRegSz, 0);
    reg.CloseRegistryKey(k, 0);
  }
  reg.DeleteRegistryKey(key, "T", 1);
  EXPECT_EQ(Messages(), Msgs{"Access to Registry Denied. (Maybe the Result of error deleting a "
                             "Key which includes one or more Subkeys in itself)"});
  HKey t = 0;
  ASSERT_EQ(reg.OpenRegistryKey(key, "T", t, 0), 0);
  reg.CloseRegistryKey(t, 0);

  reg.DeleteRegistryKeyTree(key, "T", 0);
  EXPECT_EQ(reg.OpenRegistryKey(key, "T", t, 0), 2);
  // A missing tree is no error at level 0.
  reg.DeleteRegistryKeyTree(key, "T", 0);
  EXPECT_EQ(host.boxes.size(), 1u);
}

TEST(RegistryText, ParentPathsHexAndDecimal) {
  const std::pair<const char*, const char*> parents[] = {
      {"Software\\X\\Y", "Software\\X"},
      {"Software\\X", "Software"},
      {"Software", "Software"},
      {"A\\B\\C\\", "A\\B\\C"},
  };
  for (const auto& [path, parent] : parents) EXPECT_EQ(ParentKeyPath(path), parent) << path;

  const std::uint8_t bytes[] = {0x01, 0xAB, 0x00};
  EXPECT_EQ(BytesToHex(bytes, 3), "01AB00");
  EXPECT_EQ(ReversedBytesToHex(bytes, 3), "00AB01");
  const std::pair<const char*, const char*> decimals[] = {
      {"00000001", "1"}, {"FFFFFFFF", "4294967295"},
      {"0a", "10"},      {"7FFFFFFF", "2147483647"},
      {"", ""},          {"G1", ""},
  };
  for (const auto& [hex, dec] : decimals) EXPECT_EQ(HexToDecimal(hex), dec) << hex;
}

TEST(RegistryReport, EachLevelAddsAGroupOfMessages) {
  const std::string denied =
      "Access to Registry Denied. (Maybe the Result of error deleting a Key which includes one "
      "or more Subkeys in itself)";
  struct Case {
    RegStatus status;
    int from;  // the first level that shows it; none beyond 3
    std::string message;
  };
  const Case cases[] = {
      {5, 1, denied},
      {1011, 1, "Cannot Open Key"},
      {1012, 1, "Cannot Read Key"},
      {1013, 1, "Cannot Write Key"},
      {2, 2, "Key couldn't be found"},
      {1009, 2, "Corrupt Registry Database!"},
      {14, 3, "Out of memory"},
      {87, 3, "Invalid Parameter"},
      {161, 3, "Invalid Path given"},
      {1010, 3, "Key name is bad"},
      {234, 3, "Undefinied key error code! (234)"},
      {6, 3, "Undefinied key error code! (6)"},
      {0, 4, ""},    // success
      {259, 4, ""},  // the end of an enumeration
  };
  sim::ScriptedHost host;
  auto api = MakeRegistryUnderTest();
  Registry32 reg(*api, host);
  for (const Case& c : cases) {
    for (int level : {-1, 0, 1, 2, 3, 4}) {
      host.boxes.clear();
      reg.ReportRegistryError(c.status, level);
      bool shown = level >= c.from && level <= 3;
      ASSERT_EQ(host.boxes.size(), shown ? 1u : 0u) << c.status << " at " << level;
      if (!shown) continue;
      EXPECT_EQ(host.boxes[0].text, c.message);
      EXPECT_EQ(host.boxes[0].title, "Ravelmend");
      EXPECT_EQ(host.boxes[0].style, 0) << "OK only, no icon";
    }
  }
}

}  // namespace ravel::regcases
