// Replays every input the fuzz targets keep, the seeds and the inputs that once
// broke a check, through the same checks, with the built plug-in library.
// The checks expect the POSIX build's behaviour (a data folder file that is a
// directory opens for reading), so the replay is left out of Windows builds.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_inputs.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// The inputs kept for one target, found beside this source file.
std::vector<std::string> KeptInputs(const std::string &target) {
  const fs::path fuzz = fs::path(__FILE__).parent_path().parent_path() / "fuzz";
  std::vector<std::string> paths;
  for (const char *kind : {"corpus", "regressions"}) {
    const fs::path dir = fuzz / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto &entry : fs::directory_iterator(dir)) paths.push_back(entry.path().string());
  }
  return paths;
}

}  // namespace

TEST(FuzzReplay, RecognitionInputsPassTheirChecks) {
  const std::vector<std::string> inputs = KeptInputs("recognition");
  ASSERT_FALSE(inputs.empty());
  for (const std::string &path : inputs) {
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(CheckRecognitionInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()),
              "")
        << path;
  }
}

TEST(FuzzReplay, MessageInputsPassTheirChecks) {
  const std::vector<std::string> inputs = KeptInputs("message");
  ASSERT_FALSE(inputs.empty());
  for (const std::string &path : inputs) {
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(CheckMessageInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), "")
        << path;
  }
}

TEST(FuzzReplay, FolderInputsPassTheirChecks) {
  const std::vector<std::string> inputs = KeptInputs("folder");
  ASSERT_FALSE(inputs.empty());
  const std::string work = MakeTempDir();
  for (const std::string &path : inputs) {
    const std::string bytes = ReadFile(path);
    std::string problem;
    BoxesShownBy([&] {
      problem = CheckFolderInput(Plugin(), reinterpret_cast<const uint8_t *>(bytes.data()),
                                 bytes.size(), work);
    });
    EXPECT_EQ(problem, "") << path;
    EXPECT_TRUE(ListDir(work).empty()) << path;
  }
  Warnings().clear();
}

#endif  // _WIN32
