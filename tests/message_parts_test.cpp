// The message reader through its entry points, on messages in real files:
// the tree, the names, the decoded bytes, and damage that must get a clean
// answer.
#include "message/message_parts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "message/mime_fields.h"
#include "platform/file_system.h"
#include "tests/test_support.h"

namespace {

struct FileRead {
  FileRef File;
};

int64_t ReadFromFile(void *context, uint64_t at, void *buffer, size_t size) {
  return int64_t(FileSystem.ReadAt(static_cast<FileRead *>(context)->File, at, buffer, size));
}

bool Append(void *context, const void *bytes, size_t size) {
  static_cast<std::string *>(context)->append(static_cast<const char *>(bytes), size);
  return true;
}

bool AppendToPart(void *context, size_t index, const void *bytes, size_t size) {
  std::vector<std::string> *parts = static_cast<std::vector<std::string> *>(context);
  if (index >= parts->size()) parts->resize(index + 1);
  (*parts)[index].append(static_cast<const char *>(bytes), size);
  return true;
}

struct Read {
  bool Ok;
  MessageParts Parts;
  std::vector<std::string> Decoded, Utf8;  // each part's bytes, and as UTF-8
  std::string Tree;  // "position type name" of each part, '*' for an attachment, '|' between
};

// Reads the message from a file that holds `raw`; the source claims `claimed`
// bytes where that is more than the file has.
Read ReadMessage(const std::string &raw, uint64_t claimed = 0) {
  const std::string path = JoinPath(MakeTempDir(), "message.eml");
  WriteFileBytes(path, raw);
  FileRead file = {FileSystem.OpenForReading(path.c_str())};
  EXPECT_NE(file.File, NoFile);
  const MessageSource source = {ReadFromFile, &file, claimed > raw.size() ? claimed : raw.size()};
  Read read;
  read.Ok = ReadMessageParts(source, &read.Parts);
  for (size_t i = 0; i < read.Parts.Parts.size(); ++i) {
    const MessagePart &part = read.Parts.Parts[i];
    read.Tree += (i > 0 ? "|" : "") + part.Position + " " + part.Type + " " + part.Name +
                 (part.IsAttachment ? "*" : "");
    std::string bytes, utf8;
    uint64_t decoded = 0, converted = 0;
    EXPECT_TRUE(DecodePart(source, read.Parts, i, false, Append, &bytes, &decoded));
    EXPECT_TRUE(DecodePart(source, read.Parts, i, true, Append, &utf8, &converted));
    EXPECT_EQ(decoded, bytes.size());
    read.Decoded.push_back(bytes);
    read.Utf8.push_back(utf8);
  }
  // Decoded as the tree is read, each part with bytes of its own comes out
  // the same, in a tree the same.
  std::vector<std::string> passed;
  MessageParts again;
  EXPECT_EQ(ReadAndDecodeMessageParts(source, &again, AppendToPart, &passed), read.Ok);
  EXPECT_LE(passed.size(), read.Decoded.size()) << "bytes of a part left out of the tree";
  passed.resize(read.Decoded.size());
  EXPECT_EQ(again.Parts.size(), read.Parts.Parts.size());
  for (size_t i = 0; read.Ok && i < read.Parts.Parts.size() && i < again.Parts.size(); ++i) {
    const MessagePart &part = read.Parts.Parts[i];
    const bool own = part.Kind == PartLeaf || part.Kind == PartUuencoded;
    EXPECT_EQ(passed[i], own ? read.Decoded[i] : "") << "part " << part.Position;
    EXPECT_EQ(again.Parts[i].BodyStart, part.BodyStart) << "part " << part.Position;
    EXPECT_EQ(again.Parts[i].BodyEnd, part.BodyEnd) << "part " << part.Position;
  }
  FileSystem.Close(file.File);
  return read;
}

// Each part lies within its parent, after it, and no body runs past the
// message's end.
void ExpectWellFormed(const Read &read, uint64_t size) {
  const std::vector<MessagePart> &parts = read.Parts.Parts;
  ASSERT_FALSE(parts.empty());
  EXPECT_EQ(parts[0].Parent, -1);
  EXPECT_EQ(parts[0].HeaderStart, 0u);
  EXPECT_EQ(parts[0].BodyEnd, size);
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_LE(parts[i].HeaderStart, parts[i].BodyStart);
    EXPECT_LE(parts[i].BodyStart, parts[i].BodyEnd);
    EXPECT_LE(parts[i].BodyEnd, size);
    if (i == 0) continue;
    ASSERT_GE(parts[i].Parent, 0);
    ASSERT_LT(size_t(parts[i].Parent), i);
    const MessagePart &parent = parts[size_t(parts[i].Parent)];
    EXPECT_GE(parts[i].HeaderStart, parent.BodyStart);
    EXPECT_LE(parts[i].BodyEnd, parent.BodyEnd);
  }
}

const char Head[] =
    "From: Ann <ann@example.org>\r\nSubject: test\r\nMIME-Version: 1.0\r\n";

struct TreeRow {
  const char *Case;
  std::string Raw;
  const char *Tree;
  size_t Part;          // whose decoded bytes are checked
  std::string Decoded;  // as they are
  std::string Utf8;     // in UTF-8
};

const TreeRow TreeRows[] = {
    {"NotMime", "From: a@b\nSubject: s\n\nline one\nline two\n", "1 text/plain part 1.txt", 0,
     "line one\nline two\n", "line one\nline two\n"},
    {"NestedWithBase64AndQuotedPrintable",
     std::string(Head) +
         "Content-Type: multipart/mixed; boundary=\"out\"\r\n\r\npreamble\r\n--out\r\n"
         "Content-Type: multipart/alternative; boundary=in\r\n\r\n--in\r\n"
         "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
         "quoted-printable\r\n\r\ncaf=C3=a9 =\r\nau lait=3D=ZZ\r\n--in\r\n"
         "Content-Type: text/html\r\n\r\n<p>x</p>\r\n--in--\r\n--out\r\n"
         "Content-Type: application/pdf; name=\"r.pdf\"\r\nContent-Transfer-Encoding: "
         "base64\r\n\r\nJVBE\r\nRi0x\n*!LjQ=\r\n--out--\r\nepilogue\r\n",
     "1 multipart/mixed part 1|1.1 multipart/alternative part 1|1.1.1 text/plain part 1.txt|"
     "1.1.2 text/html part 2.html|1.2 application/pdf r.pdf*",
     4, "%PDF-1.4", "%PDF-1.4"},
    {"QuotedPrintableSoftBreaksAndBadEscape",
     std::string(Head) + "Content-Type: text/plain; charset=utf-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                         "caf=C3=a9 =\r\nau lait=3D=ZZ=\nend=",
     "1 text/plain part 1.txt", 0, "caf\xc3\xa9 au lait==ZZend=", "caf\xc3\xa9 au lait==ZZend="},
    {"MessageInside",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                         "Content-Type: text/plain\r\n\r\nsee\r\n--b\r\n"
                         "Content-Type: message/rfc822\r\n\r\nSubject: inner\r\n"
                         "Content-Type: multipart/mixed; boundary=c\r\n\r\n--c\r\n\r\ninner "
                         "text\r\n--c\r\nContent-Type: image/png\r\n\r\nPNG\r\n--c--\r\n--b--\r\n",
     "1 multipart/mixed part 1|1.1 text/plain part 1.txt|1.2 message/rfc822 part 2.eml|"
     "1.2.1 multipart/mixed part 1|1.2.1.1 text/plain part 1_(2).txt|"
     "1.2.1.2 image/png part 2.png*",
     4, "inner text", "inner text"},
    {"Uuencoded",
     "Subject: files\n\nhere:\nbegin 644 hi.txt\n&:&D@=&AE\n`\nend\nbye\n",
     "1 text/plain part 1.txt|1.1 application/octet-stream hi.txt*", 1, "hi the", "hi the"},
    {"DigestHoldsMessages",
     std::string(Head) + "Content-Type: multipart/digest; boundary=d\r\n\r\n--d\r\n\r\n"
                         "Subject: one\r\n\r\nfirst\r\n--d--\r\n",
     "1 multipart/digest part 1|1.1 message/rfc822 part 1.eml|1.1.1 text/plain part 1.txt", 2,
     "first", "first"},
    {"Cp1251TextInUtf8",
     std::string(Head) + "Content-Type: text/plain; charset=windows-1251\r\n\r\n\xd1\xf7\xb8\xf2",
     "1 text/plain part 1.txt", 0, "\xd1\xf7\xb8\xf2", "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82"},
    {"Koi8rBase64TextInUtf8",
     std::string(Head) + "Content-Type: text/plain; charset=\"KOI8-R\"\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\n896j1A==\r\n",
     "1 text/plain part 1.txt", 0, "\xf3\xde\xa3\xd4", "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82"},
    {"UnknownCharsetStaysAsItIs",
     std::string(Head) + "Content-Type: text/plain; charset=x-unheard-of\r\n\r\n\xd1\xf7",
     "1 text/plain part 1.txt", 0, "\xd1\xf7", "\xd1\xf7"},
    // Damage.
    {"NoClosingDelimiter",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\none\r\n"
                         "--b\r\nContent-Type: text/html\r\n\r\ntwo, cut\r\n",
     "1 multipart/mixed part 1|1.1 text/plain part 1.txt|1.2 text/html part 2.html", 2,
     "two, cut", "two, cut"},
    {"DelimiterNeverComes",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--c\r\n\r\none\r\n",
     "1 multipart/mixed part 1.txt", 0, "--c\r\n\r\none\r\n", "--c\r\n\r\none\r\n"},
    {"BoundaryInsideALine",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nx --b y\r\n"
                         "--bb\r\n --b\r\n--b \t\r\n\r\ntwo\r\n--b--\r\n",
     "1 multipart/mixed part 1|1.1 text/plain part 1.txt|1.2 text/plain part 2.txt", 1,
     "x --b y\r\n--bb\r\n --b", "x --b y\r\n--bb\r\n --b"},
    {"HeaderLineWithoutColon", "Subject: s\r\nno colon here\r\nContent-Type: text/html\r\n\r\nb",
     "1 text/plain part 1.txt", 0, "no colon here\r\nContent-Type: text/html\r\n\r\nb",
     "no colon here\r\nContent-Type: text/html\r\n\r\nb"},
    {"NulBytes",
     std::string("Subject: a") + '\0' + "b\r\nContent-Type: text/plain; name=\"x" + '\0' +
         "y.txt\"\r\n\r\n" + std::string("\0\0\r\n", 4),
     "1 text/plain x_y.txt*", 0, std::string("\0\0\r\n", 4), std::string("\0\0\r\n", 4)},
    {"NoHeaderAtAll", "just a body\r\n", "1 text/plain part 1.txt", 0, "just a body\r\n",
     "just a body\r\n"},
    {"Empty", "", "1 text/plain part 1.txt", 0, "", ""},
    // The sender's spaces stay; only what no file name holds is replaced.
    {"TwinNames",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                         "Content-Type: image/png; name=\"a b.png\"\r\n\r\n1\r\n--b\r\n"
                         "Content-Type: image/png; name=\"A B.png\"\r\n\r\n2\r\n--b\r\n"
                         "Content-Type: image/png; name=\"a/b\x01.png\"\r\n\r\n3\r\n--b\r\n"
                         "Content-Type: image/png; name=\"..\"\r\n\r\n4\r\n--b--\r\n",
     "1 multipart/mixed part 1|1.1 image/png a b.png*|1.2 image/png A B_(2).png*|"
     "1.3 image/png a_b_.png*|1.4 image/png __*",
     2, "2", "2"},
    // Two base64 chunks one after the other: the padding ends the first only.
    {"Base64ChunksOneAfterTheOther",
     std::string(Head) + "Content-Type: application/pdf; name=r.pdf\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\nYQ==\r\nYmM=YmM\r\n",
     "1 application/pdf r.pdf*", 0, "abcbc", "abcbc"},
    // A character cut short at the text's end stays as it is, after the rest.
    {"ConvertedTextKeepsItsLastBytes",
     std::string(Head) + "Content-Type: text/plain; charset=gbk\r\n\r\nab\xc4\xe3\xc4",
     "1 text/plain part 1.txt", 0, "ab\xc4\xe3\xc4", "ab\xe4\xbd\xa0\xc4"},
    // A named text shown inline is part of the text, as mail readers show
    // it; named with no disposition, it is an attachment.
    // Base64 leaves decoded as the pass over their multipart goes by: a
    // boundary with ':' whose delimiter a header would take for a field,
    // lines that start with '-' (one longer than the reader's window), the
    // last part without its closing delimiter.
    {"Base64DecodedOnTheWay",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=\"a:b\"\r\n\r\n--a:b\r\n"
                         "Content-Transfer-Encoding: base64\r\nContent-Type: image/png\r\n"
                         "--a:b\r\nContent-Type: image/png; name=p.png\r\n"
                         "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n-ZGVm\r\n-" +
         std::string(70000, 'A') + "\r\nZ2hp\r\n--a:b\nContent-Transfer-Encoding: Base64\n"
                                   "Content-Type: application/zip; name=z.zip\n\namts\n",
     "1 multipart/mixed part 1|1.1 image/png part 1.png*|1.2 image/png p.png*|"
     "1.3 application/zip z.zip*",
     2, "abcdef" + std::string(52500, '\0') + "ghi",
     "abcdef" + std::string(52500, '\0') + "ghi"},
    {"NamedInlineTextIsNoAttachment",
     std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nhi\r\n"
                         "--b\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
                         "Content-Disposition: inline; filename=\"notes.txt\"\r\n\r\nn\r\n--b\r\n"
                         "Content-Type: text/plain; name=\"list.txt\"\r\n\r\nl\r\n--b--\r\n",
     "1 multipart/mixed part 1|1.1 text/plain part 1.txt|1.2 text/plain notes.txt|"
     "1.3 text/plain list.txt*",
     2, "n", "n"},
};

void PrintTo(const TreeRow &row, std::ostream *out) { *out << row.Case; }

class MessageTree : public testing::TestWithParam<TreeRow> {};

}  // namespace

TEST_P(MessageTree, GivesItsPartsAndTheirBytes) {
  const TreeRow &row = GetParam();
  const Read read = ReadMessage(row.Raw);
  ASSERT_TRUE(read.Ok);
  EXPECT_EQ(read.Tree, row.Tree);
  ExpectWellFormed(read, row.Raw.size());
  ASSERT_LT(row.Part, read.Decoded.size());
  EXPECT_EQ(read.Decoded[row.Part], row.Decoded);
  EXPECT_EQ(read.Utf8[row.Part], row.Utf8);
}

INSTANTIATE_TEST_SUITE_P(MessageRows, MessageTree, testing::ValuesIn(TreeRows),
                         [](const testing::TestParamInfo<TreeRow> &info) {
                           return std::string(info.param.Case);
                         });

namespace {

struct NameRow {
  const char *Case;
  std::string Field;  // the attachment's Content-Disposition value
  std::string Name;   // the part's name in UTF-8
};

std::string Repeated(const std::string &text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

const NameRow NameRows[] = {
    {"Rfc2231Utf8Continued",
     "attachment; filename*0*=UTF-8''%D0%9E%D1%82%D1%87; filename*1*=%D1%91%D1%82.pdf",
     "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82.pdf"},  // Отчёт.pdf
    {"Rfc2231EscapeSplitBetweenSections",
     "attachment; filename*0*=utf-8''%D0%9E%D1; filename*1*=%82.txt", "\xd0\x9e\xd1\x82.txt"},
    {"Rfc2231Windows1251", "attachment; filename*=windows-1251'ru'%D1%F7%B8%F2.doc",
     "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82.doc"},  // Счёт.doc
    {"Rfc2231Koi8r", "attachment; filename*=koi8-r''%F3%DE%A3%D4.doc",
     "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82.doc"},
    {"Rfc2231SectionsOutOfOrder", "attachment; filename*1=\"b.txt\"; filename*0=\"a\"",
     "ab.txt"},
    {"Rfc2047Utf8", "attachment; filename=\"=?UTF-8?B?0J7RgtGH0ZHRgi5wZGY=?=\"",
     "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82.pdf"},
    {"Rfc2047Windows1251Q", "attachment; filename=\"=?windows-1251?Q?=D1=F7=B8=F2.doc?=\"",
     "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82.doc"},
    {"Rfc2047Koi8rB", "attachment; filename=\"=?koi8-r?B?896j1C5kb2M=?=\"",
     "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82.doc"},
#ifdef _WIN32
    {"QuotedWithEscapes", "attachment; filename=\"a\\\"b;c.txt\"", "a_b;c.txt"},
#else
    {"QuotedWithEscapes", "attachment; filename=\"a\\\"b;c.txt\"", "a\"b;c.txt"},
#endif
    {"SpacesStay",
     "attachment; filename*=UTF-8''%D0%A1%D0%BC%D0%B5%D1%82%D0%B0%20%D0%BD%D0%B0%202000.xls",
     "\xd0\xa1\xd0\xbc\xd0\xb5\xd1\x82\xd0\xb0 \xd0\xbd\xd0\xb0 2000.xls"},  // Смета на 2000.xls
    // Over 255 bytes: cut on a character's boundary, the extension kept.
    {"TooLongCutBeforeItsExtension",
     "attachment; filename*=UTF-8''" + Repeated("%D0%96", 150) + ".pdf",
     Repeated("\xd0\x96", 125) + ".pdf"},
    {"UnknownCharsetKept", "attachment; filename*=x-none''abc.txt", "abc.txt"},
};

void PrintTo(const NameRow &row, std::ostream *out) { *out << row.Case; }

class MessageNames : public testing::TestWithParam<NameRow> {};

}  // namespace

TEST_P(MessageNames, AreDecodedIntoUtf8) {
  const Read read = ReadMessage(std::string(Head) +
                                "Content-Type: application/octet-stream; name=other\r\n"
                                "Content-Disposition: " +
                                GetParam().Field + "\r\n\r\nbytes");
  ASSERT_TRUE(read.Ok);
  ASSERT_EQ(read.Parts.Parts.size(), 1u);
  EXPECT_EQ(read.Parts.Parts[0].Name, GetParam().Name);
  EXPECT_TRUE(read.Parts.Parts[0].NameGiven);
  EXPECT_TRUE(read.Parts.Parts[0].IsAttachment);
}

INSTANTIATE_TEST_SUITE_P(MessageRows, MessageNames, testing::ValuesIn(NameRows),
                         [](const testing::TestParamInfo<NameRow> &info) {
                           return std::string(info.param.Case);
                         });

TEST(MessageHeaders, AreDecodedIntoUtf8) {
  const struct {
    const char *Raw, *Text;
    bool Unknown;
  } rows[] = {
      {" =?UTF-8?B?0J/RgNC40LLQtdGC?= ", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
       false},
      // White space between two words goes, folding included; beside text it stays.
      {"=?utf-8?Q?a_b?=\r\n =?utf-8?Q?c?= d  =?koi8-r?Q?=F3?=", "a bc d  \xd0\xa1", false},
      {"=?windows-1251?B?0fe48g==?=", "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82", false},
      {"=?utf-8*en?Q?x?=", "x", false},
      {"a =?x-none?Q?b?= c", "a =?x-none?Q?b?= c", true},
      {"=?utf-8?Q?not closed", "=?utf-8?Q?not closed", false},
      {"raw \xd0\x94\xd0\xb0", "raw \xd0\x94\xd0\xb0", false},
  };
  for (const auto &row : rows) {
    const DecodedField field = DecodeHeaderValue(row.Raw);
    EXPECT_EQ(field.Text, row.Text) << row.Raw;
    EXPECT_EQ(field.UnknownCharset, row.Unknown) << row.Raw;
  }
  const Read read = ReadMessage(
      "From: =?koi8-r?B?896j1A==?= <a@b>\r\nTo: x@y\r\nCc: z@w\r\nDate: Sat, 11 Mar 2000\r\n"
      "Subject: =?windows-1251?Q?=D1=F7=B8=F2?=\r\n  folded\r\nSubject: second\r\n\r\nbody");
  EXPECT_EQ(read.Parts.From.Text, "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82 <a@b>");
  EXPECT_EQ(read.Parts.To.Text, "x@y");
  EXPECT_EQ(read.Parts.Cc.Text, "z@w");
  EXPECT_EQ(read.Parts.Date.Text, "Sat, 11 Mar 2000");
  EXPECT_EQ(read.Parts.Subject.Text, "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82  folded");
}

// Multiparts 70 deep: the 64 levels below the message are parts, the rest one
// leaf, and the message is told too deep; 64 deep, it is whole.
TEST(MessageDamage, NestsNoDeeperThanTheLimit) {
  const auto nested = [](int levels) {
    std::string raw = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 1; i < levels; ++i)
      raw += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" +
             std::to_string(i) + "\r\n\r\n";
    return raw + "--b" + std::to_string(levels - 1) + "\r\n\r\ndeep\r\n";
  };
  const Read whole = ReadMessage(nested(DeepestPart));
  ASSERT_TRUE(whole.Ok);
  EXPECT_EQ(whole.Parts.Limit, PartsWhole);
  EXPECT_EQ(whole.Parts.Parts.size(), size_t(DeepestPart) + 1);
  EXPECT_EQ(whole.Parts.Parts.back().Kind, PartLeaf);
  const std::string raw = nested(70);
  const Read read = ReadMessage(raw);
  ASSERT_TRUE(read.Ok);
  EXPECT_EQ(read.Parts.Limit, PartsTooDeep);
  ExpectWellFormed(read, raw.size());
  ASSERT_EQ(read.Parts.Parts.size(), size_t(DeepestPart) + 1);
  const MessagePart &deepest = read.Parts.Parts.back();
  EXPECT_EQ(deepest.Kind, PartLeaf);
  EXPECT_EQ(deepest.Type, "multipart/mixed");
  EXPECT_EQ(std::count(deepest.Position.begin(), deepest.Position.end(), '.'), DeepestPart);
  EXPECT_EQ(read.Parts.Parts[size_t(DeepestPart) - 1].Kind, PartMultipart);
}

TEST(MessageDamage, MegabyteLinesAreReadWhole) {
  const std::string line(3 << 20, 'x');
  const std::string raw = "Subject: " + std::string(1 << 20, 's') + "\r\nX-Long: " + line +
                          "\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" +
                          line + "\r\n--b\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                          std::string(1 << 20, 'A') + "\r\n--b--\r\n";
  const Read read = ReadMessage(raw);
  ASSERT_TRUE(read.Ok);
  ASSERT_EQ(read.Tree, "1 multipart/mixed part 1|1.1 text/plain part 1.txt|1.2 text/plain part 2.txt");
  EXPECT_EQ(read.Decoded[1], line);
  EXPECT_EQ(read.Decoded[2], std::string(3 << 18, '\0'));
  EXPECT_EQ(read.Parts.Subject.Text.substr(0, 4), "ssss");
}

// Base64 as the processor's blocks take it comes out as digit by digit:
// lines of many lengths and both line breaks, a length that changes, strays,
// padding inside, all cut into pieces anywhere, alone and inside a multipart.
TEST(MessageDamage, Base64BlocksDecodeAsDigitByDigit) {
  static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint64_t seed = 5;
  const auto random = [&seed](uint64_t below) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (seed >> 33) % below;
  };
  const size_t lengths[] = {76, 64, 72, 60, 4, 75, 300, 128, 132, 76};
  const int widest = UseBase64Blocks(3);
  for (int round = 0; round < 40; ++round) {
    // Each width the processor has, digit by digit too.
    if (UseBase64Blocks(widest - round % (widest + 1)) != widest - round % (widest + 1))
      ADD_FAILURE() << "no blocks of " << widest - round % (widest + 1);
    size_t line = lengths[random(10)];
    const bool crlf = random(2) == 0;
    std::string body;
    const size_t size = 1000 + random(200000);
    size_t column = 0;
    while (body.size() < size) {
      const uint64_t roll = random(100000);
      if (roll < 3) line = lengths[random(10)];  // another length from here on
      if (roll < 20 && round % 3 == 1) body += " *-="[random(4)];  // a stray or padding
      body += Digits[random(64)];
      if (++column >= line) {
        body += crlf || roll % 7 == 0 ? "\r\n" : "\n";
        column = 0;
      }
    }
    std::string expected;
    unsigned bits = 0;
    int count = 0;
    for (const char c : body) {
      const char *digit = c != '\0' ? strchr(Digits, c) : nullptr;
      if (c == '=') bits = 0, count = 0;
      if (digit == nullptr) continue;
      bits = (bits << 6 | unsigned(digit - Digits)) & 0xFFFFFF;
      count += 6;
      if (count >= 8) {
        count -= 8;
        expected += char(bits >> count & 0xFF);
      }
    }
    const std::string alone = std::string(Head) + "Content-Transfer-Encoding: base64\r\n\r\n" + body;
    EXPECT_EQ(ReadMessage(alone).Decoded[0], expected) << round;
    const Read inside = ReadMessage(std::string(Head) +
                                    "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                    "Content-Transfer-Encoding: base64\r\n\r\n" +
                                    body + "\r\n--b--\r\n");
    ASSERT_EQ(inside.Decoded.size(), 2u);
    EXPECT_EQ(inside.Decoded[1], expected) << round;
  }
  UseBase64Blocks(widest);
}

// An escape and a multibyte character split between the decoder's pieces.
TEST(MessageDamage, PiecesSplitNoCharacter) {
  for (size_t pad = 65530; pad < 65540; ++pad) {
    const std::string raw = std::string(Head) +
                            "Content-Type: text/plain; charset=utf-8\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
                            std::string(pad, 'a') + "=D0=96=\r\n=e9\xd0\x96";
    const Read read = ReadMessage(raw);
    EXPECT_EQ(read.Decoded[0], std::string(pad, 'a') + "\xd0\x96\xe9\xd0\x96") << pad;
    // GBK's two bytes of U+4F60 at the piece's end.
    const Read gbk = ReadMessage(std::string(Head) + "Content-Type: text/plain; charset=gbk\r\n\r\n" +
                                 std::string(pad, 'a') + "\xc4\xe3");
    EXPECT_EQ(gbk.Utf8[0], std::string(pad, 'a') + "\xe4\xbd\xa0") << pad;
  }
}

// A source that claims more than it holds (an index record past the end of
// its data file), and the message cut at every length.
TEST(MessageDamage, CutMessagesGetACleanAnswer) {
  const std::string raw = TreeRows[1].Raw;
  const Read claimed = ReadMessage(raw, raw.size() + 1000);
  EXPECT_TRUE(claimed.Ok);
  EXPECT_EQ(claimed.Tree, TreeRows[1].Tree);
  for (size_t size = 0; size <= raw.size(); size += 7) {
    const Read read = ReadMessage(raw.substr(0, size));
    ASSERT_TRUE(read.Ok);
    ExpectWellFormed(read, size);
  }
}

TEST(MessageDamage, ASourceThatFailsIsTold) {
  const MessageSource failing = {[](void *, uint64_t, void *, size_t) -> int64_t { return -1; },
                                 nullptr, 100};
  MessageParts parts;
  EXPECT_FALSE(ReadMessageParts(failing, &parts));
  std::string bytes;
  uint64_t decoded = 1;
  EXPECT_FALSE(DecodePart(failing, parts, 5, false, Append, &bytes, &decoded));
  EXPECT_EQ(decoded, 0u);
}

// Many parts of one name: each twin found at once, not after all before it.
// As many parts as the bound allows make a whole message; one more part, or
// one more uuencoded block, and it has too many.
TEST(MessageDamage, ManyTwinsAreNamedInLinearTimeUpToTheBound) {
  const auto many = [](size_t count, const char *child) {
    std::string raw = std::string(Head) + "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (size_t i = 0; i < count; ++i) raw += std::string("--b\r\n") + child;
    return raw + "--b--\r\n";
  };
  const size_t count = MostParts - 1;
  const Read read = ReadMessage(many(count, "Content-Type: image/png; name=a.png\r\n\r\nx\r\n"));
  EXPECT_EQ(read.Parts.Limit, PartsWhole);
  ASSERT_EQ(read.Parts.Parts.size(), count + 1);
  EXPECT_EQ(read.Parts.Parts[1].Name, "a.png");
  EXPECT_EQ(read.Parts.Parts[count].Name, "a_(" + std::to_string(count) + ").png");
  const Read more =
      ReadMessage(many(count + 1, "Content-Transfer-Encoding: base64\r\n\r\nYQ==\r\n"));
  EXPECT_EQ(more.Parts.Limit, PartsTooMany);
  EXPECT_EQ(more.Parts.Parts.size(), MostParts);
  std::string uuencoded = "Subject: blocks\r\n\r\n";
  for (size_t i = 1; i < MostParts; ++i) uuencoded += "begin 644 a\r\nend\r\n";
  EXPECT_EQ(ReadMessage(uuencoded).Parts.Limit, PartsWhole);
  EXPECT_EQ(ReadMessage(uuencoded + "begin 644 a\r\nend\r\n").Parts.Limit, PartsTooMany);
}
