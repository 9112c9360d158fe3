// The delivery ledger that vfolder imap and --resume keep, with one of its
// file calls made to fail: the step that makes the call says so with the
// system's error, and the ledger read again holds no line that was not
// written whole, nor loses one that was.
#include "outputs/delivery_ledger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fault_harness.h"
#include "tests/test_support.h"

namespace {

// The steps of a run's ledger, in order.
enum Step { Open, Record, HeldThenSync, Intent, Settled, CloseIt, NoStep };

bool Take(Step step, DeliveryLedger *ledger, const std::string &path, int *error) {
  switch (step) {
    case Open: return OpenLedger(path, ledger, error);
    case Record:  // written through and synced
      return RecordDelivery(ledger, "d", {1, 4});
    case HeldThenSync:
      return RecordDelivery(ledger, "e", {1, 5}, true, "out 7", true) && SyncLedger(ledger);
    case Intent: return RecordIntent(ledger, 1, 6);
    case Settled: return RecordSettled(ledger, 1);
    default: return CloseLedger(ledger);
  }
}

struct LedgerFaultRow {
  const char *Name;
  FileCall Failing;  // its `Nth` call from the start fails, as on a full disk
  int Nth;
  Step Fails;         // the step that says so
  const char *Holds;  // the keys of the ledger read again
  bool IntentOpen;    // and whether its last intent is still open
};

const LedgerFaultRow Rows[] = {
    {"NoFailure", FileCallCount, 0, NoStep, "a b d e", false},
    {"MakingItsDirectoryFails", MakeDirectoriesCall, 1, Open, "a b", false},
    {"OpeningFails", OpenForAppendingCall, 1, Open, "a b", false},
    {"ReadingFails", ReadAtCall, 1, Open, "a b", false},
    {"CuttingTheCutLineAwayFails", TruncateCall, 1, Open, "a b", false},
    {"WriteThroughFails", WriteCall, 1, Record, "a b e", false},
    {"SyncAfterAWriteThroughFails", SyncCall, 1, Record, "a b d e", false},
    {"HeldLineFailsAtTheSync", WriteCall, 2, HeldThenSync, "a b d", false},
    {"SyncOfTheHeldLineFails", SyncCall, 2, HeldThenSync, "a b d e", false},
    {"IntentFails", WriteCall, 3, Intent, "a b d e", false},
    {"IntentSyncFails", SyncCall, 3, Intent, "a b d e", false},
    {"SettledFails", WriteCall, 4, Settled, "a b d e", true},
    {"LastSyncFails", SyncCall, 4, CloseIt, "a b d e", false},
    {"CloseFails", CloseCall, 1, CloseIt, "a b d e", false},
};

void PrintTo(const LedgerFaultRow &row, std::ostream *out) { *out << row.Name; }

class LedgerFault : public testing::TestWithParam<LedgerFaultRow> {};

TEST_P(LedgerFault, SaysSoAndKeepsOnlyWholeLines) {
  const LedgerFaultRow &row = GetParam();
  // Two lines, and a third that a crash cut short.
  const std::string path = MakeTempDir() + "/ledgers/inbox.ledger";
  ASSERT_TRUE(SystemFileCalls.MakeDirectories(path.substr(0, path.rfind('/')).c_str(), OwnerOnly));
  WriteFileBytes(path, "a 1 1\nb 1 2\nc 1 3");

  if (row.Failing != FileCallCount) FailCall(row.Failing, row.Nth, DiskFull);
  DeliveryLedger ledger;
  for (Step step = Open; step != NoStep; step = Step(step + 1)) {
    int error = 0;
    const bool done = Take(step, &ledger, path, &error);
    EXPECT_EQ(done, step != row.Fails) << "step " << step;
    if (done) continue;
    EXPECT_EQ(step == Open ? error : LastSystemError(), DiskFull) << "step " << step;
    if (step == Open) break;
  }
  RestoreFileCalls();

  DeliveryLedger again;
  int error = 0;
  ASSERT_TRUE(OpenLedger(path, &again, &error));
  std::vector<std::string> keys;
  for (const auto &entry : again.Entries) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  std::string holds;
  for (const std::string &key : keys) holds += (holds.empty() ? "" : " ") + key;
  EXPECT_EQ(holds, row.Holds);
  EXPECT_EQ(again.IntentOpen, row.IntentOpen);
  EXPECT_TRUE(CloseLedger(&again));
}

INSTANTIATE_TEST_SUITE_P(Rows, LedgerFault, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<LedgerFaultRow> &info) {
                           return std::string(info.param.Name);
                         });

}  // namespace
