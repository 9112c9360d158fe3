// A directory of folders in, a tree of outputs out: every folder under the
// directory (recursively, in name order) converted into the place that
// mirrors its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "outputs/mail_run.h"

// A folder, or a directory that holds folders somewhere below it.
struct TreeNode {
  std::string Path;  // as reached from the directory given
  std::string Name;  // a directory's name; a folder's index file name without its extension
  bool IsFolder;
  int64_t Records;                 // a folder's messages, as its index file's size gives them
  FileIdentity Own[2];             // a folder's index and data folder files
  std::vector<TreeNode> Children;  // a directory's folders and directories, in name order
};

// Finds every folder under the directory `dir` (IsFolderFile): files through
// symbolic links are taken, directories through them are not entered; an
// empty index file without its data folder file is passed over, counted in
// `*passed_over`. False, having told `run`'s host which (where there is a
// run), when a directory could not be read to its end; the folders found are
// there all the same.
bool FindFolders(const std::string &dir, TreeNode *top, int *passed_over,
                 const MailRun *run = nullptr);

// Adds `path`, a folder's index file or a directory with folders somewhere
// below it, to `top` as one more child, named and read as FindFolders names
// and reads the entries of a directory: the tree of what a user chose. Adds
// nothing where it is neither; `*passed_over` counts on. False, as
// FindFolders, when a directory could not be read to its end.
bool AddChosenPath(const std::string &path, TreeNode *top, int *passed_over,
                   const MailRun *run = nullptr);

// The messages of every folder in the tree.
int64_t CountMessages(const TreeNode &node);

// True when `identity` is one of the files of a folder in the tree.
bool IsTreeFile(const TreeNode &node, const FileIdentity &identity);

// How a tree of Maildirs is laid out.
enum TreeLayout {
  // One Maildir, OUT, whose subfolders are the Maildirs OUT/.Work and
  // OUT/.Work.Projects, each with a file maildirfolder: what Dovecot and
  // Courier read by default. A folder named INBOX ignoring case, at the top,
  // is OUT itself (their INBOX, which can hold no subfolders there); '.' in a
  // name, their separator, becomes '_'.
  MaildirPlusPlusLayout,
  // A Maildir for each folder at its own path.
  FileSystemLayout,
};

// Converts every folder of `top` into the directory `out` (made with its
// parents where missing), each into an output of its own named after it:
//   mbox     the layout of Thunderbird's local folders: the folders of a
//            directory X go into the directory X.sbd beside an mbox file X
//            (empty when no folder has that name);
//   maildir  Maildirs as `layout` lays them out;
//   eml      a directory of .eml files for each folder, in directories that
//            mirror the tree;
//   attachments
//            the same, each folder's directory holding the directories of
//            its messages' attachments.
// A folder X beside a directory X is one mailbox with the folders of the
// directory below it: X and X.sbd, .X and .X.Y, or one directory X holding
// the folder's files and the directory's (in a Maildir, the names tmp, new
// and cur are its own; with attachments, its messages' directories' names). Other names equal ignoring the case of A-Z within one
// directory, and names in use from before, take the next free suffix "_(2)",
// "_(3)", ... Each folder's counts go to the host as it is done; returns
// the counts of all.
Tally ConvertTree(MailRun *run, const TreeNode &top, const std::string &out, TreeLayout layout);

// A folder of a tree and the place ConvertTree gives its output.
struct TreePlace {
  const TreeNode *Folder;
  std::string Target;
};

// Where ConvertTree puts each folder of `top` under `out`, in the order it
// converts them, when none of the names it gives was in use before (a name
// in use then takes the next suffix, which this cannot know). Nothing is
// made.
std::vector<TreePlace> TreePlaces(const TreeNode &top, const std::string &out, TreeShape shape,
                                  TreeLayout layout);

// NeedsCharset for every message of every folder in the tree.
bool TreeNeedsCharset(const MailRun &run, const TreeNode &node);
