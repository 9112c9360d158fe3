// Names and paths of exported messages: forbidden characters, device names,
// trailing dots, the path buffer's limit.
#include <gtest/gtest.h>

#include <string>

#include "folder/export_name.h"

namespace {

size_t BuildExportPath(const char *dir, const char *name, char *out, size_t out_size) {
  char file_name[MAX_PATH * 2];
  MakeExportName(name, file_name, sizeof file_name);
  return JoinExportPath(dir, file_name, out, out_size);
}

std::string Path(const std::string &dir, const std::string &name) {
  char out[MAX_PATH];
  const size_t length = BuildExportPath(dir.c_str(), name.c_str(), out, sizeof out);
  EXPECT_LT(length, sizeof out);
  return out;
}

std::string Name(const std::string &name) {
  char out[MAX_PATH + 2];
  MakeExportName(name.c_str(), out, sizeof out);
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
}

TEST(ExportPath, NamesEveryFileSystemKeepsAsTheyAre) {
  const std::pair<const char *, const char *> rows[] = {
      {"CON", "CON_"},         {"nul.txt", "nul_.txt"},   {"Com1.a.b", "Com1_.a.b"},
      {"lpt9", "lpt9_"},       {"aux", "aux_"},           {"PRN.", "PRN__"},
      {"COM0", "COM0"},        {"CONSOLE", "CONSOLE"},    {"x.CON", "x.CON"},
      {".nul", ".nul"},        {"conin$", "conin$_"},     {"CONOUT$.log", "CONOUT$_.log"},
      {"CONIN", "CONIN"},      {"Hello.", "Hello_"},      {"a..", "a__"},
      {".", "_"},              {"..", "__"},              {"", "_"},
      {".hidden", ".hidden"},  {"a.b", "a.b"},            {"...x", "...x"},
  };
  for (const auto &row : rows) EXPECT_EQ(Name(row.first), row.second) << row.first;
}

TEST(ExportPath, TooLongIsReportedNotCut) {
  const std::string dir(250, 'd');
  char out[MAX_PATH];
  EXPECT_EQ(BuildExportPath(dir.c_str(), "12345678", out, sizeof out), 259u);  // just fits
  EXPECT_EQ(BuildExportPath(dir.c_str(), "123456789", out, sizeof out), 260u);
  EXPECT_EQ(std::string(out).size(), 259u);  // terminated inside the buffer
  EXPECT_EQ(BuildExportPath(dir.c_str(), "CON", out, 0), 255u);
}
