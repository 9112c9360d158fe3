#include "outputs/folder_tree.h"

#include <algorithm>
#include <cstring>

#include "folder/vessor_folder.h"
#include "outputs/utf8_text.h"
#include "platform/file_system.h"
#include "platform/system_facts.h"

namespace {

void AddName(void *names, const char *name) {
  static_cast<std::vector<std::string> *>(names)->push_back(name);
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir + SystemSeparator + name;
}

// The index file's name without its extension; the whole name when that
// would leave nothing.
std::string FolderName(const std::string &file_name) {
  const size_t dot = file_name.rfind('.');
  return dot == std::string::npos || dot == 0 ? file_name : file_name.substr(0, dot);
}

bool ReadDirectory(const MailRun *run, TreeNode *node, bool *complete, int *passed_over);

// Adds the file or directory `path`, named `name` in its directory, to
// `node`'s children where it is a folder or holds one.
void AddChild(const MailRun *run, TreeNode *node, const std::string &path,
              const std::string &name, bool *complete, int *passed_over) {
  TreeNode child = {path, name, false, 0, {}, {}};
  const PathKind kind = FileSystem.KindOf(child.Path.c_str(), false);
  if (kind == PathDirectory) {
    if (ReadDirectory(run, &child, complete, passed_over)) node->Children.push_back(child);
  } else if (kind != PathRegular && kind != PathLink) {
    return;
  } else if (const FolderFileKind found = IsFolderFile(child.Path, &child.Records);
             found == EmptyWithoutDataFile) {
    ++*passed_over;
  } else if (found == FolderFile) {
    child.IsFolder = true;
    child.Name = FolderName(name);
    child.Own[0] = FileSystem.Identify(child.Path.c_str());
    MailFolder folder = {child.Path, CreateFolderHandle(child.Path.c_str()), {}, {}, {}, {}};
    if (folder.Handle != nullptr) FolderFileIdentities(folder.Handle, child.Own);
    CloseMailFolder(&folder);
    node->Children.push_back(child);
  }
}

// Reads the directory `node.Path` into `node`, telling of each directory
// that cannot be read; false when it holds no folder.
bool ReadDirectory(const MailRun *run, TreeNode *node, bool *complete, int *passed_over) {
  std::vector<std::string> names;
  if (!FileSystem.ListDirectory(node->Path.c_str(), AddName, &names)) {
    if (run != nullptr)
      Tell(*run, NoticeCannotReadDirectory, node->Path.c_str(), LastSystemError());
    *complete = false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string &name : names)
    AddChild(run, node, Join(node->Path, name), name, complete, passed_over);
  return !node->Children.empty();
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool SameIgnoringCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// The names given in one output directory, told apart ignoring the case of
// A-Z as Windows tells them.
struct GivenNames {
  std::vector<std::string> Names;
  bool Has(const std::string &name) const {
    for (const std::string &given : Names)
      if (SameIgnoringCase(given, name)) return true;
    return false;
  }
};

std::string Suffixed(const std::string &base, int number) {
  return number == 1 ? base : base + "_(" + std::to_string(number) + ")";
}

// Converts one folder into `target`; an empty target is one that could not
// be made, which every message of the folder fails for.
void ConvertOne(MailRun *run, const TreeNode &node, const std::string &target, Tally *total) {
  MailFolder folder;
  TextCharset declared = {};
  const bool own = run->FolderCharsets && OpenDeclaredCharset(node.Path.c_str(), &declared);
  const FolderOpening opening = OpenMailFolder(node.Path, &folder, own ? &declared : run->Charset);
  if (own) CloseTextCharset(&declared);
  if (opening != FolderOpened) {
    Tell(*run, NoticeFolderNotListed, folder.Shown.c_str());
    ++run->FoldersNotListed;
  } else {
    std::vector<int> chosen;
    for (int i = 0; i < int(folder.Entries.size()); ++i) chosen.push_back(i);
    Tally tally = {int(chosen.size()), 0, 0, 0, 0, 0};
    if (target.empty()) {
      tally.Handled = tally.Failed = tally.Messages;
      run->Done += tally.Messages;
      for (int i : chosen)
        TellOutcome(*run, {&folder, i, ProblemCannotCreate, 0, NoHeadersGiven, nullptr});
    } else {
      tally = ConvertFolder(run, &folder, chosen, target);
    }
    if (!run->PipeClosed && run->Events.FolderDone != nullptr)
      run->Events.FolderDone(run->Events.Context, folder, tally);
    total->Messages += tally.Messages;
    total->Handled += tally.Handled;
    total->Written += tally.Written;
    total->Failed += tally.Failed;
    total->Given += tally.Given;
    total->Before += tally.Before;
  }
  CloseMailFolder(&folder);
}

// Everything below a directory that could not be made fails.
void FailBelow(MailRun *run, const TreeNode &node, Tally *total) {
  for (const TreeNode &child : node.Children) {
    if (RunStopped(*run)) return;
    if (child.IsFolder)
      ConvertOne(run, child, std::string(), total);
    else
      FailBelow(run, child, total);
  }
}

// Tells so, with the reason the system gave for the last call that failed.
void TellCannotMake(const MailRun &run, const std::string &path, OutputNotice notice) {
  Tell(run, notice, path.c_str(), LastSystemError());
}

// A folder and a directory of the same name, which every layout keeps
// together as one mailbox with its subfolders.
struct Mailbox {
  const TreeNode *Folder;     // null: a directory alone
  const TreeNode *Directory;  // null: a folder alone
  std::string Name;
};

std::vector<Mailbox> MailboxesOf(const TreeNode &node) {
  std::vector<Mailbox> boxes;
  std::vector<bool> done(node.Children.size(), false);
  for (size_t i = 0; i < node.Children.size(); ++i) {
    if (done[i]) continue;
    const TreeNode &child = node.Children[i];
    Mailbox box = {child.IsFolder ? &child : nullptr, child.IsFolder ? nullptr : &child,
                   child.Name};
    for (size_t j = i + 1; j < node.Children.size(); ++j) {
      const TreeNode &other = node.Children[j];
      if (done[j] || other.Name != child.Name || other.IsFolder == child.IsFolder) continue;
      (other.IsFolder ? box.Folder : box.Directory) = &other;
      done[j] = true;
      break;
    }
    boxes.push_back(box);
  }
  return boxes;
}

// The mbox layout: a folder and a directory of the same name share one name,
// the folder's mbox file and the directory's NAME.sbd.
void ConvertMboxLevel(MailRun *run, const TreeNode &node, const std::string &out, Tally *total) {
  GivenNames given;
  for (const Mailbox &box : MailboxesOf(node)) {
    if (RunStopped(*run)) return;
    const TreeNode *folder = box.Folder, *directory = box.Directory;
    const std::string &base = box.Name;
    std::string name;
    FileRef file = NoFile;
    for (int number = 1; number < 10000 && file == NoFile; ++number) {
      name = Suffixed(base, number);
      const std::string sbd = Join(out, name + ".sbd");
      if (given.Has(name) || given.Has(name + ".sbd") ||
          FileSystem.KindOf(sbd.c_str(), false) != PathMissing)
        continue;
      bool exists = false;
      ClearSystemError();
      file = FileSystem.CreateNew(Join(out, name).c_str(), OwnerOnly, &exists);
      if (file == NoFile && !exists) break;
    }
    const bool made = file != NoFile && FileSystem.Close(file);
    if (!made) TellCannotMake(*run, Join(out, name), NoticeCannotMakeFile);
    given.Names.push_back(name);
    given.Names.push_back(name + ".sbd");
    if (folder != nullptr) ConvertOne(run, *folder, made ? Join(out, name) : "", total);
    if (directory == nullptr) continue;
    const std::string sbd = Join(out, name + ".sbd");
    bool exists = false;
    ClearSystemError();
    if (made && FileSystem.MakeDirectory(sbd.c_str(), OwnerOnly, &exists)) {
      ConvertMboxLevel(run, *directory, sbd, total);
    } else {
      TellCannotMake(*run, sbd, NoticeCannotMakeDirectory);
      FailBelow(run, *directory, total);
    }
  }
}

// Maildirs at their paths and directories of .eml files: a directory of its
// own for each mailbox, holding the folder's files and the directory's. The
// folder goes first, so that its Maildir's tmp, new and cur are names in use
// for the subfolders.
void ConvertDirectoryLevel(MailRun *run, const TreeNode &node, const std::string &out,
                           Tally *total) {
  GivenNames given;
  for (const Mailbox &box : MailboxesOf(node)) {
    if (RunStopped(*run)) return;
    std::string name;
    bool made = false, exists = true;
    for (int number = 1; number < 10000 && !made && exists; ++number) {
      name = Suffixed(box.Name, number);
      ClearSystemError();
      if (!given.Has(name)) made = FileSystem.MakeDirectory(Join(out, name).c_str(), OwnerOnly, &exists);
    }
    given.Names.push_back(name);
    const std::string path = Join(out, name);
    if (!made) TellCannotMake(*run, path, NoticeCannotMakeDirectory);
    if (box.Folder != nullptr) ConvertOne(run, *box.Folder, made ? path : "", total);
    if (box.Directory == nullptr) continue;
    if (made)
      ConvertDirectoryLevel(run, *box.Directory, path, total);
    else
      FailBelow(run, *box.Directory, total);
  }
}

// Characters beyond printable ASCII as IMAP's modified UTF-7 writes them:
// their UTF-16 in base64 with ',' for '/', between '&' and '-'.
void PutModifiedUtf7(const std::vector<uint16_t> &units, std::string *out) {
  static const char Digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  *out += '&';
  uint32_t bits = 0;
  int held = 0;
  for (const uint16_t unit : units) {
    bits = bits << 16 | unit;
    for (held += 16; held >= 6; held -= 6) *out += Digits[(bits >> (held - 6)) & 63];
  }
  if (held > 0) *out += Digits[(bits << (6 - held)) & 63];
  *out += '-';
}

// A name as one level of a Maildir++ folder's name, in the modified UTF-7
// that Dovecot and Courier read there (a name of raw UTF-8 is a mailbox
// they list and cannot open): '.' separates the levels, so it becomes '_',
// and '&' stands for itself as "&-". A byte that is no UTF-8 is taken for
// the character of its value, so that names stay apart.
std::string MaildirPlusName(const std::string &name) {
  std::string out;
  std::vector<uint16_t> units;  // the run of characters beyond ASCII
  const unsigned char *text = reinterpret_cast<const unsigned char *>(name.data());
  for (size_t at = 0; at < name.size();) {
    uint32_t code = text[at];
    size_t length = code < 0x80 ? 1 : Utf8Sequence(text + at, name.size() - at, &code);
    if (length == 0) code = text[at], length = 1;
    at += length;
    if (code >= 0x20 && code < 0x7F) {
      if (!units.empty()) PutModifiedUtf7(units, &out);
      units.clear();
      out += code == '.' ? "_" : code == '&' ? "&-" : std::string(1, char(code));
    } else if (code >= 0x10000) {
      units.push_back(uint16_t(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(uint16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(uint16_t(code));
    }
  }
  if (!units.empty()) PutModifiedUtf7(units, &out);
  return out;
}

// Makes `dir` a Maildir's own: tmp, new and cur in it.
bool MakeMaildir(const MailRun *run, const std::string &dir) {
  for (const char *sub : {"tmp", "new", "cur"}) {
    bool exists = false;
    ClearSystemError();
    if (!FileSystem.MakeDirectory(Join(dir, sub).c_str(), OwnerOnly, &exists) && !exists) {
      TellCannotMake(*run, Join(dir, sub), NoticeCannotMakeDirectory);
      return false;
    }
  }
  return true;
}

// Makes the Maildir++ subfolder `dir`, marked as one by its file maildirfolder.
// False, having said why, when it cannot; `*exists` then tells whether
// something of that name is there already.
bool MakeMaildirFolder(const MailRun *run, const std::string &dir, bool *exists) {
  ClearSystemError();
  if (!FileSystem.MakeDirectory(dir.c_str(), OwnerOnly, exists)) {
    if (!*exists) TellCannotMake(*run, dir, NoticeCannotMakeDirectory);
    return false;
  }
  const std::string mark = Join(dir, "maildirfolder");
  bool mark_exists = false;
  ClearSystemError();
  const FileRef file = FileSystem.CreateNew(mark.c_str(), OwnerOnly, &mark_exists);
  if (file == NoFile || !FileSystem.Close(file)) {
    TellCannotMake(*run, mark, NoticeCannotMakeFile);
    return false;
  }
  return true;
}

// Maildir++: every folder of every level is the Maildir root/.PREFIXNAME; a
// directory alone is only a part of its folders' names.
void ConvertMaildirPlusLevel(MailRun *run, const TreeNode &node, const std::string &root,
                             const std::string &prefix, Tally *total) {
  GivenNames given;
  // The root is INBOX, which has no subfolders in this layout.
  if (prefix.empty()) given.Names.push_back("INBOX");
  bool inbox_done = !prefix.empty();
  for (const Mailbox &box : MailboxesOf(node)) {
    if (RunStopped(*run)) return;
    const std::string base = MaildirPlusName(box.Name);
    const TreeNode *folder = box.Folder;
    if (folder != nullptr && !inbox_done && SameIgnoringCase(base, "INBOX")) {
      inbox_done = true;
      ConvertOne(run, *folder, root, total);
      folder = nullptr;
      if (box.Directory == nullptr) continue;
    }
    std::string name, path;
    bool made = false, exists = true;
    for (int number = 1; number < 10000 && !made && exists; ++number) {
      name = Suffixed(base, number);
      path = Join(root, "." + prefix + name);
      if (given.Has(name)) continue;
      if (folder != nullptr)
        made = MakeMaildirFolder(run, path, &exists);
      else
        made = !(exists = FileSystem.KindOf(path.c_str(), false) != PathMissing);
    }
    given.Names.push_back(name);
    if (folder != nullptr) ConvertOne(run, *folder, made ? path : "", total);
    if (box.Directory == nullptr) continue;
    if (made)
      ConvertMaildirPlusLevel(run, *box.Directory, root, prefix + name + ".", total);
    else
      FailBelow(run, *box.Directory, total);
  }
}

// The first of `base`, base_(2), ... that `given` does not hold.
std::string FirstFree(const GivenNames &given, const std::string &base, const char *also = "") {
  std::string name = base;
  for (int number = 2; number < 10000 && (given.Has(name) || given.Has(name + also)); ++number)
    name = Suffixed(base, number);
  return name;
}

// The places ConvertMboxLevel gives, nothing made.
void MboxPlaces(const TreeNode &node, const std::string &out, std::vector<TreePlace> *places) {
  GivenNames given;
  for (const Mailbox &box : MailboxesOf(node)) {
    const std::string name = FirstFree(given, box.Name, ".sbd");
    given.Names.push_back(name);
    given.Names.push_back(name + ".sbd");
    if (box.Folder != nullptr) places->push_back({box.Folder, Join(out, name)});
    if (box.Directory != nullptr) MboxPlaces(*box.Directory, Join(out, name + ".sbd"), places);
  }
}

// The places ConvertDirectoryLevel gives, nothing made.
void DirectoryPlaces(const TreeNode &node, const std::string &out,
                     std::vector<TreePlace> *places) {
  GivenNames given;
  for (const Mailbox &box : MailboxesOf(node)) {
    const std::string name = FirstFree(given, box.Name);
    given.Names.push_back(name);
    if (box.Folder != nullptr) places->push_back({box.Folder, Join(out, name)});
    if (box.Directory != nullptr) DirectoryPlaces(*box.Directory, Join(out, name), places);
  }
}

// The places ConvertMaildirPlusLevel gives, nothing made.
void MaildirPlusPlaces(const TreeNode &node, const std::string &root, const std::string &prefix,
                       std::vector<TreePlace> *places) {
  GivenNames given;
  if (prefix.empty()) given.Names.push_back("INBOX");
  bool inbox_done = !prefix.empty();
  for (const Mailbox &box : MailboxesOf(node)) {
    const std::string base = MaildirPlusName(box.Name);
    const TreeNode *folder = box.Folder;
    if (folder != nullptr && !inbox_done && SameIgnoringCase(base, "INBOX")) {
      inbox_done = true;
      places->push_back({folder, root});
      folder = nullptr;
      if (box.Directory == nullptr) continue;
    }
    const std::string name = FirstFree(given, base);
    given.Names.push_back(name);
    if (folder != nullptr) places->push_back({folder, Join(root, "." + prefix + name)});
    if (box.Directory != nullptr)
      MaildirPlusPlaces(*box.Directory, root, prefix + name + ".", places);
  }
}

}  // namespace

bool FindFolders(const std::string &dir, TreeNode *top, int *passed_over, const MailRun *run) {
  *top = TreeNode{dir, "", false, 0, {}, {}};
  bool complete = true;
  *passed_over = 0;
  ReadDirectory(run, top, &complete, passed_over);
  return complete;
}

bool AddChosenPath(const std::string &path, TreeNode *top, int *passed_over,
                   const MailRun *run) {
  const size_t slash = path.find_last_of(std::string("/") + SystemSeparator);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  bool complete = true;
  AddChild(run, top, path, name, &complete, passed_over);
  return complete;
}

int64_t CountMessages(const TreeNode &node) {
  int64_t count = node.Records;
  for (const TreeNode &child : node.Children) count += CountMessages(child);
  return count;
}

bool IsTreeFile(const TreeNode &node, const FileIdentity &identity) {
  if (node.IsFolder && (IsSameFile(identity, node.Own[0]) || IsSameFile(identity, node.Own[1])))
    return true;
  for (const TreeNode &child : node.Children)
    if (IsTreeFile(child, identity)) return true;
  return false;
}

Tally ConvertTree(MailRun *run, const TreeNode &top, const std::string &out, TreeLayout layout) {
  Tally total = {0, 0, 0, 0, 0, 0};
  ClearSystemError();
  const bool plus = run->Output->Tree == MaildirTree && layout == MaildirPlusPlusLayout;
  if (!FileSystem.MakeDirectories(out.c_str(), OwnerOnly)) {
    TellCannotMake(*run, out, NoticeCannotMakeDirectory);
    FailBelow(run, top, &total);
  } else if (run->Output->Tree == MboxTree) {
    ConvertMboxLevel(run, top, out, &total);
  } else if (!plus) {
    ConvertDirectoryLevel(run, top, out, &total);
  } else if (MakeMaildir(run, out)) {
    ConvertMaildirPlusLevel(run, top, out, "", &total);
  } else {
    FailBelow(run, top, &total);
  }
  return total;
}

bool TreeNeedsCharset(const MailRun &run, const TreeNode &node) {
  for (const TreeNode &child : node.Children) {
    if (!child.IsFolder) {
      if (TreeNeedsCharset(run, child)) return true;
      continue;
    }
    MailFolder folder;
    bool needs = false;
    if (OpenMailFolder(child.Path, &folder, run.Charset) == FolderOpened) {
      std::vector<int> chosen;
      for (int i = 0; i < int(folder.Entries.size()); ++i) chosen.push_back(i);
      needs = NeedsCharset(run, &folder, chosen);
    }
    CloseMailFolder(&folder);
    if (needs) return true;
  }
  return false;
}

std::vector<TreePlace> TreePlaces(const TreeNode &top, const std::string &out, TreeShape shape,
                                  TreeLayout layout) {
  std::vector<TreePlace> places;
  if (shape == MboxTree)
    MboxPlaces(top, out, &places);
  else if (shape == MaildirTree && layout == MaildirPlusPlusLayout)
    MaildirPlusPlaces(top, out, "", &places);
  else
    DirectoryPlaces(top, out, &places);
  return places;
}
