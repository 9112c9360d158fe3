// The numbers of the texts the plug-in shows: line N of the language files
// (host/shared/texts/VessorFolderEng.lng, VessorFolderRus.lng, installed
// beside the module) holds text N, in the language the host is set to. A
// text added here gets a line in each file, in the same place. Also the help
// file's topics the plug-in opens.
#pragma once

enum MessageId {
  MTitle,  // the panel's title and the configuration menu's entry
  MCopyTitle,
  // A counted noun in four forms, chosen by CountedNoun: for 1; for 21, 31,
  // ... (not 11); for 2-4, 22-24, ... (not 12-14); for the rest.
  MMessageOne,
  MMessageEndsInOne,
  MMessageFew,
  MMessageMany,
  MByteOne,
  MByteEndsInOne,
  MByteFew,
  MByteMany,
  MDigitGroup,  // what parts large numbers in groups of three digits
  MCannotOpenData,
  MCannotCreateFile,
  MCannotReadMessage,
  MCannotWriteFile,
  MCodePageMenuTitle,
  MCodePageOem,
  MCodePageAnsi,
  MCodePageUtf8,
  MCodePage437,
  MCodePage850,
  MCodePage866,
  MCodePage1250,
  MCodePage1251,
  MCodePage1252,
  MInfoFiles,
  MInfoIndexFile,
  MInfoIndexSize,
  MInfoDataFile,
  MInfoDataSize,
  MInfoMissing,
  MInfoMessages,
  MInfoCount,
  MInfoHidden,
  MInfoReadOnly,
  MInfoTotalSize,
  MInfoOldest,
  MInfoNewest,
  MInfoNoDate,
  MInfoUndated,
  MInfoPastEnd,
  MInfoCodePage,
  MSaveAs,
  MSaveFiles,
  MSaveEml,
  MSaveMbox,
  MSaveMaildir,
  MSaveTreeMbox,
  MSaveTreeMaildir,
  MSaveTreeEml,
  MMarkRead,
  MCopyButton,
  MCancelButton,
  MConvertEntry,
  MConvertTitle,
  MItemOne,
  MItemEndsInOne,
  MItemFew,
  MItemMany,
  MConvertNothing,
  MConvertNoFolder,
  MSavingTitle,
  MOfMessageOne,
  MOfMessageEndsInOne,
  MOfMessageFew,
  MOfMessageMany,
  MStopQuestion,
  MCannotMakeDirectory,
  MDamagedSize,
  MOwnFile,
  MNoMemory,
  MNotMoved,
  MNoColons,
  MCannotSave,
  MConvertButton,
  MConvertSource,  // far2l's line for the folders to convert
  MFailed,         // an entry point's work ended by an error no step reports
  MCodePageAuto,   // the menu's choice of each folder's own code page
  // The info line's code page, by where it came from: "%ls" is its name.
  MCodePageFromFolder,
  MCodePageSystem,
  MCodePageByHand,
  // Whole sentences, their numbers and names at "%1", "%2"... (FillText), so
  // that each language orders them as it must; a count's noun is a value,
  // in the form CountedNoun chooses.
  MCopyQuestion,          // count, noun (messages or items)
  MConvertCountQuestion,  // count, noun (items)
  MConvertPathQuestion,   // the path typed
  MProgressOf,            // done, total, noun after "of"
  MSummaryCounts,         // total, noun, saved, failed
  MCountedBytes,          // count, noun
  MFailureAt,             // reason, path
  MPartsTitle,            // the message's name
  // The parts panel: the names its own items take before their extensions
  // (Message.txt, Message.html, Original.eml), and its header lines' labels.
  MPartsMessage,
  MPartsOriginal,
  MHeaderFrom,
  MHeaderTo,
  MHeaderCc,
  MHeaderDate,
  MHeaderSubject,
  MCannotKeepSetting,  // the settings could not be written: the choice lasts this session
  MCannotReadDirectory,
  // A mail account (where the host has the network): its rows in the save
  // dialogs, its dialog, and what a send into it tells.
  MSaveAccount,
  MSaveTreeAccount,
  MAccountTitle,
  MAccountUrl,
  MAccountUser,
  MAccountPassword,
  MAccountToken,
  MSendButton,
  MAccountNoLogin,
  MAccountBadUrl,
  MAccountRefused,
  MAccountTooLarge,
  MAccountLedger,
  MAccountMailbox,
  MAccountGivenUp,
  MAccountFull,
  MAccountFingerprint,  // before a certificate's SHA-256 fingerprint, on a line of its own
  // A send's own words for MSavingTitle, MProgressOf, MStopQuestion and
  // MSummaryCounts.
  MSendingTitle,
  MSendProgressOf,
  MSendStopQuestion,
  MSendSummaryCounts,
  MessageCount
};

// The help file's topics (VessorFolderEng.hlf, VessorFolderRus.hlf).
#define HELP_SAVING L"Saving"
#define HELP_CODE_PAGE L"CodePage"
#define HELP_CONVERT L"Convert"
#define HELP_PARTS L"Parts"
#define HELP_ACCOUNT L"Account"
