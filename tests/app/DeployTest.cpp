// The files of deploy/: GNU parallel shards a file list over two job slots of this machine
// (two "hosts") and merges the JSON Lines in list order; the Kubernetes Job manifest is read,
// checked, and its pods' script run here for each index.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::CaptureOutput;
using testsupport::Quote;
using testsupport::TempDir;

namespace {

const fs::path kSource(BRINDLE_SOURCE_DIR);

std::vector<json> Lines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line));
    return lines;
}

class DeployTest : public ::testing::Test {
protected:
    // Copies of the samples (with and without packages) and a name that is missing, listed.
    void MakeList(int count) {
        std::string list;
        for (int i = 0; i < count; ++i) {
            const fs::path f = fDir / ("doc " + std::to_string(i) + ".jpg");
            const char* sample = i % 3 == 2 ? "Plain-BlueSquare.jpg" : "Editorial-BlueSquare.jpg";
            fs::copy_file(kSource / "samples/documents" / sample, f);
            fNames.push_back(i == 5 ? (fDir / "gone.jpg").string() : f.string());
            list += fNames.back() + "\n";
        }
        testsupport::WriteFile(fDir / "files.txt", list);
    }

    TempDir fDir, fHome;
    std::vector<std::string> fNames;
};

TEST_F(DeployTest, GNUParallelShardsAListOverTwoHostsAndKeepsItsOrder) {
    if (std::system("parallel --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed";
    MakeList(13);
    int status = 0;
    const std::string out =
        CaptureOutput("BRINDLE=" + Quote(BRINDLE_BINARY) + " BRINDLE_HOSTS=2/: BRINDLE_SHARD_SIZE=4 " +
                          Quote(kSource / "deploy/parallel/shard.sh") + " " + Quote(fDir / "files.txt") +
                          " --home " + Quote(fHome.path()) + " packages 2>/dev/null",
                      &status);
    EXPECT_NE(status, 0) << "the shard with the missing name failed";
    std::vector<std::string> files;
    size_t documents = 0, failed = 0, summaries = 0;
    for (const json& l : Lines(out)) {
        if (l.contains("summary")) {
            ++summaries;
            documents += l["summary"]["documents"].get<size_t>();
            failed += l["summary"]["failed"].get<size_t>();
            continue;
        }
        files.push_back(l["file"]);
        if (l["file"] != fNames[5]) {
            EXPECT_TRUE(l.contains("packages")) << l.dump();
        }
    }
    EXPECT_EQ(files, fNames);
    EXPECT_EQ(summaries, 4u) << "13 names in shards of 4";
    EXPECT_EQ(documents, 13u);
    EXPECT_EQ(failed, 1u);
}

TEST_F(DeployTest, TheKubernetesJobIsAnIndexedJobWhosePodsCoverTheListOnce) {
    if (std::system("python3 -c 'import yaml' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-yaml is not installed";
    int status = 0;
    const std::string script =
        CaptureOutput("python3 " + Quote(kSource / "deploy/kubernetes/check_manifest.py") + " " +
                          Quote(kSource / "deploy/kubernetes/brindle-job.yaml"),
                      &status);
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(script.empty());
    testsupport::WriteFile(fDir / "pod.sh", script);
    MakeList(10);
    // The pods' script, run here for each index with three shards; brindle from the build.
    std::map<std::string, int> seen;
    for (int i = 0; i < 3; ++i) {
        CaptureOutput(
            "PATH=" + Quote(fs::path(BRINDLE_BINARY).parent_path().string() + ":" + getenv("PATH")) +
                " SHARED=" + Quote(fDir.path()) + " SHARDS=3 JOB_COMPLETION_INDEX=" + std::to_string(i) +
                " TMPDIR=" + Quote(fHome.path()) + " sh " + Quote(fDir / "pod.sh") + " 2>/dev/null",
            &status);
        EXPECT_EQ(WEXITSTATUS(status), i == 5 % 3 ? 2 : 0) << "index " << i;
        const fs::path part = fDir / "out" / ("part-" + std::to_string(i) + ".jsonl");
        ASSERT_TRUE(fs::exists(part)) << part;
        for (const json& l : Lines(testsupport::ReadFile(part)))
            if (l.contains("file")) ++seen[l["file"]];
    }
    ASSERT_EQ(seen.size(), fNames.size());
    for (const std::string& n : fNames)
        EXPECT_EQ(seen[n], 1) << n;
}

} // namespace
