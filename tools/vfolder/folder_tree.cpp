#include "tools/vfolder/folder_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "folder/vessor_folder.h"
#include "platform/file_system.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"

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

// Reads the directory `node.Path` into `node`, saying so of each directory
// that cannot be read; false when it holds no folder.
bool ReadDirectory(TreeNode *node, bool *complete) {
  std::vector<std::string> names;
  if (!FileSystem.ListDirectory(node->Path.c_str(), AddName, &names)) {
    fprintf(stderr, "vfolder: %s: cannot read the directory\n",
            Printable(node->Path.c_str()).c_str());
    *complete = false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string &name : names) {
    TreeNode child = {Join(node->Path, name), name, false, 0, {}, {}};
    const PathKind kind = FileSystem.KindOf(child.Path.c_str(), false);
    if (kind == PathDirectory) {
      if (ReadDirectory(&child, complete)) node->Children.push_back(child);
    } else if ((kind == PathRegular || kind == PathLink) &&
               IsFolderFile(child.Path, &child.Records)) {
      child.IsFolder = true;
      child.Name = FolderName(name);
      child.Own[0] = FileSystem.Identify(child.Path.c_str());
      MailFolder folder = {child.Path, CreateFolderHandle(child.Path.c_str()), {}, {}, {}};
      if (folder.Handle != nullptr) FolderFileIdentities(folder.Handle, child.Own);
      CloseMailFolder(&folder);
      node->Children.push_back(child);
    }
  }
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

void SayFolder(const MailFolder &folder, const std::string &text) {
  ClearProgress();
  fprintf(stderr, "vfolder: %s: %s\n", Printable(folder.Shown.c_str()).c_str(), text.c_str());
}

// Converts one folder into `target`; an empty target is one that could not
// be made, which every message of the folder fails for.
void ConvertOne(MailRun *run, const TreeNode &node, const std::string &target, Tally *total) {
  MailFolder folder;
  const FolderOpening opening = OpenMailFolder(node.Path, &folder, run->Charset);
  if (opening != FolderOpened) {
    SayFolder(folder, "cannot list the folder");
    ++run->FoldersNotListed;
  } else {
    std::vector<int> chosen;
    for (int i = 0; i < int(folder.Entries.size()); ++i) chosen.push_back(i);
    Tally tally = {int(chosen.size()), 0, 0, 0, 0};
    if (target.empty()) {
      tally.Handled = tally.Failed = tally.Messages;
      run->Done += tally.Messages;
      if (run->Log != nullptr)
        for (int i : chosen)
          LogMessage(run->Log, folder.Shown, i, NameOf(folder, i),
                     folder.Entries[size_t(i)].Size, "Cannot create file");
    } else {
      tally = ConvertFolder(run, &folder, chosen, target);
    }
    if (!run->PipeClosed) SayFolder(folder, SummaryOf(tally));
    total->Messages += tally.Messages;
    total->Handled += tally.Handled;
    total->Written += tally.Written;
    total->Failed += tally.Failed;
    total->Given += tally.Given;
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

// Says so, with the reason the system gave for the last call that failed.
void SayCannotMake(const std::string &path, const char *what) {
  const std::string reason = Because(LastSystemError());
  ClearProgress();
  fprintf(stderr, "vfolder: %s: cannot make the %s%s\n", Printable(path.c_str()).c_str(), what,
          reason.c_str());
}

// The mbox layout: a folder and a directory of the same name share one name,
// the folder's mbox file and the directory's NAME.sbd.
void ConvertMboxLevel(MailRun *run, const TreeNode &node, const std::string &out, Tally *total) {
  GivenNames given;
  std::vector<bool> done(node.Children.size(), false);
  for (size_t i = 0; i < node.Children.size() && !RunStopped(*run); ++i) {
    if (done[i]) continue;
    const TreeNode *folder = node.Children[i].IsFolder ? &node.Children[i] : nullptr;
    const TreeNode *directory = folder == nullptr ? &node.Children[i] : nullptr;
    const std::string &base = node.Children[i].Name;
    for (size_t j = i + 1; j < node.Children.size(); ++j) {
      const TreeNode &other = node.Children[j];
      if (done[j] || other.Name != base || other.IsFolder == (folder != nullptr)) continue;
      (other.IsFolder ? folder : directory) = &other;
      done[j] = true;
      break;
    }
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
      file = FileSystem.CreateNew(Join(out, name).c_str(), &exists);
      if (file == NoFile && !exists) break;
    }
    const bool made = file != NoFile && FileSystem.Close(file);
    if (!made) SayCannotMake(Join(out, name), "file");
    given.Names.push_back(name);
    given.Names.push_back(name + ".sbd");
    if (folder != nullptr) ConvertOne(run, *folder, made ? Join(out, name) : "", total);
    if (directory == nullptr) continue;
    const std::string sbd = Join(out, name + ".sbd");
    bool exists = false;
    ClearSystemError();
    if (made && FileSystem.MakeDirectory(sbd.c_str(), &exists)) {
      ConvertMboxLevel(run, *directory, sbd, total);
    } else {
      SayCannotMake(sbd, "directory");
      FailBelow(run, *directory, total);
    }
  }
}

// Maildirs and directories of .eml files: a directory of its own for each
// folder and each directory.
void ConvertDirectoryLevel(MailRun *run, const TreeNode &node, const std::string &out,
                           Tally *total) {
  GivenNames given;
  for (const TreeNode &child : node.Children) {
    if (RunStopped(*run)) return;
    std::string name;
    bool made = false, exists = true;
    for (int number = 1; number < 10000 && !made && exists; ++number) {
      name = Suffixed(child.Name, number);
      ClearSystemError();
      if (!given.Has(name)) made = FileSystem.MakeDirectory(Join(out, name).c_str(), &exists);
    }
    given.Names.push_back(name);
    const std::string path = Join(out, name);
    if (!made) SayCannotMake(path, "directory");
    if (child.IsFolder)
      ConvertOne(run, child, made ? path : "", total);
    else if (made)
      ConvertDirectoryLevel(run, child, path, total);
    else
      FailBelow(run, child, total);
  }
}

}  // namespace

bool FindFolders(const std::string &dir, TreeNode *top) {
  *top = TreeNode{dir, "", false, 0, {}, {}};
  bool complete = true;
  ReadDirectory(top, &complete);
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

Tally ConvertTree(MailRun *run, const TreeNode &top, const std::string &out) {
  Tally total = {0, 0, 0, 0, 0};
  ClearSystemError();
  if (!FileSystem.MakeDirectories(out.c_str())) {
    SayCannotMake(out, "directory");
    FailBelow(run, top, &total);
  } else if (run->Output == MboxOutput) {
    ConvertMboxLevel(run, top, out, &total);
  } else {
    ConvertDirectoryLevel(run, top, out, &total);
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
