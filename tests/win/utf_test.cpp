#include <gtest/gtest.h>

#include "win32/common/Utf.h"

TEST(Utf, RoundTripsNamesInAnyScript) {
  std::string name = "Bild \xC3\x84rger \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.gif";
  std::wstring w = ravel::win::Widen(name);
  EXPECT_EQ(w, L"Bild \u00C4rger \u0416\u0443\u043A \u56FE.gif");
  EXPECT_EQ(ravel::win::Narrow(w), name);
}
