// A folder as the mail outputs read it: through the folder reader itself,
// with no plug-in in between, so that each message goes from the data folder
// file straight into its output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "folder/folder_handle.h"
#include "folder/listing.h"
#include "platform/file_identity.h"
#include "outputs/text_charset.h"

struct MailFolder {
  std::string Shown;  // the index path, as messages name the folder
  FolderHandle *Handle;
  std::vector<MessageEntry> Entries;  // in listing order
  // Each entry's date as its index date text states it (ReadRecordDate), or
  // all zero (Month 0) where the text states none.
  std::vector<IndexDateText> Dates;
  // With a character set, each entry's name and description in UTF-8; empty
  // without, where the entries' own bytes stand.
  std::vector<std::string> Names, Descriptions;
};

// An item's name and description as the table shows them: decoded from the
// folder's character set where one is given.
const char *NameOf(const MailFolder &folder, int position);
const char *DescriptionOf(const MailFolder &folder, int position);

// The item's date text as a Date: header's value; empty where the text states
// no date (ReadRecordDate), and the entry's Time is then zero too: the
// outputs give no date that the mail program did not write.
std::string HeaderDateOf(const MailFolder &folder, int position);

enum FolderOpening { FolderOpened, FolderUnreadable, NotAFolder, FolderNotListed };

// What a file found in a directory is for the outputs.
enum FolderFileKind {
  NoFolderFile,
  // An index file whose leading bytes pass the plug-in's recognition test and
  // that holds a record (its messages then fail where its data folder file is
  // missing), or one that is recognised or empty (the mail program's empty
  // folder) with its data folder file, another file, beside it.
  FolderFile,
  // An index file without a record, or an empty file named *.IDX, that has no
  // data folder file: nothing to convert, and nothing lost.
  EmptyWithoutDataFile,
};

// Tells what the file is; `*records` gets the count its size gives.
FolderFileKind IsFolderFile(const std::string &index_path, int64_t *records);

// Opens the folder and lists it, its texts decoded from `charset` (none when
// null). FolderUnreadable when the index file cannot be read, NotAFolder when
// IsFolderFile says so (an index that passes the test needs no data file to
// be listed), FolderNotListed when the listing fails.
FolderOpening OpenMailFolder(const std::string &index_path, MailFolder *folder,
                             const TextCharset *charset = nullptr);
void CloseMailFolder(MailFolder *folder);

// The identities of the folder's index file and data folder file: the data
// folder file that is open, or else the one that its paired name (or, as
// Windows finds it, a name differing in the case of A-Z) leads to.
void FolderFileIdentities(const FolderHandle *folder, FileIdentity own[2]);

// The position of each chosen item: the positions from the listing and the
// exact names (every item whose name in `item_names` is that) of `names`, in
// order, or every item when there are none. False, with `*unmatched` naming
// the culprit, when one matches nothing.
bool SelectItems(const std::vector<std::string> &item_names, const std::vector<std::string> &names,
                 std::vector<int> *chosen, std::string *unmatched);

// SelectItems by the folder's names as NameOf gives them.
bool SelectMessages(const MailFolder &folder, const std::vector<std::string> &names,
                    std::vector<int> *chosen, std::string *unmatched);
