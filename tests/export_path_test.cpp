// Destination paths of exported messages: separator, forbidden characters,
// device names and the path buffer's limit.
#include <gtest/gtest.h>

#include <string>

#include "folder/export.h"

namespace {

std::string Path(const std::string &dir, const std::string &name) {
  char out[MAX_PATH];
  const size_t length = BuildExportPath(dir.c_str(), name.c_str(), out, sizeof out);
  EXPECT_LT(length, sizeof out);
  return out;
}

const std::string Sep(1, PATH_SEPARATOR);

}  // namespace

TEST(ExportPath, ReplacesForbiddenCharactersInTheNameOnly) {
  EXPECT_EQ(Path("D:\\OUT", "Re: lunch?"), "D:\\OUT" + Sep + "Re__lunch_");
  EXPECT_EQ(Path("a b", "x\"*/:<>?\\| y"), "a b" + Sep + "x__________y");
  EXPECT_EQ(Path("out", "tab\there\x01\x1f"), "out" + Sep + "tab_here__");
  EXPECT_EQ(Path("out", "caf\xe9 \x7f"), "out" + Sep + "caf\xe9_\x7f");
}

TEST(ExportPath, SeparatorAddedEvenAfterOne) {
  EXPECT_EQ(Path("root" + Sep, "x"), "root" + Sep + Sep + "x");
  EXPECT_EQ(Path("out", ""), "out" + Sep);
}

TEST(ExportPath, DeviceNamesGetAnUnderscore) {
  EXPECT_EQ(Path("d", "CON"), "d" + Sep + "CON_");
  EXPECT_EQ(Path("d", "nul.txt"), "d" + Sep + "nul_.txt");
  EXPECT_EQ(Path("d", "Com1.a.b"), "d" + Sep + "Com1_.a.b");
  EXPECT_EQ(Path("d", "lpt9"), "d" + Sep + "lpt9_");
  EXPECT_EQ(Path("d", "aux"), "d" + Sep + "aux_");
  EXPECT_EQ(Path("d", "PRN."), "d" + Sep + "PRN_.");
  EXPECT_EQ(Path("d", "COM0"), "d" + Sep + "COM0");
  EXPECT_EQ(Path("d", "CONSOLE"), "d" + Sep + "CONSOLE");
  EXPECT_EQ(Path("d", "x.CON"), "d" + Sep + "x.CON");
  EXPECT_EQ(Path("d", ".nul"), "d" + Sep + ".nul");
}

TEST(ExportPath, TooLongIsReportedNotCut) {
  const std::string dir(250, 'd');
  char out[MAX_PATH];
  EXPECT_EQ(BuildExportPath(dir.c_str(), "12345678", out, sizeof out), 259u);  // just fits
  EXPECT_EQ(BuildExportPath(dir.c_str(), "123456789", out, sizeof out), 260u);
  EXPECT_EQ(std::string(out).size(), 259u);  // terminated inside the buffer
  EXPECT_EQ(BuildExportPath(dir.c_str(), "CON", out, 0), 255u);
}
