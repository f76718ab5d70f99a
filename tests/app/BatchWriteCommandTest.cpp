// A write over many documents commits their new files in groups: every document reported as
// written holds its new packet, every other one its old bytes, whatever failed on the way (a
// document that cannot be written, a sync or a rename at commit); no temporary is left behind
// and the run's exit code says whether all were written.
#include "TestSupport.h"
#include "io/FileUtils.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const fs::path kSample = fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents" / "Editorial-BlueSquare.jpg";

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

struct Outcome {
    int code = -1;
    std::string out, err;
};

// Sets an environment variable for the scope (the brindle processes inherit it).
class Env {
public:
    Env(const char* name, const std::string& value) : fName(name) {
        if (!value.empty()) ::setenv(name, value.c_str(), 1);
    }
    ~Env() { ::unsetenv(fName); }

private:
    const char* fName;
};

struct Case {
    const char* name;
    std::string fault;              // $BRINDLE_COMMIT_FAULT
    std::set<std::string> corrupt;  // documents whose content is no picture with our packages
    std::set<std::string> readOnly; // documents whose mode forbids writing
    std::set<std::string> kept;     // documents expected as they were
    int jobs;
    int code;
};

class BatchWriteCommandTest : public ::testing::Test {
protected:
    Outcome Run(const std::string& args) {
        Outcome r;
        r.code = RunBrindle("--home " + Quote(fHome.path().string()) + " " + args, &r.out, &r.err);
        return r;
    }
    std::string Headline(const fs::path& file) {
        const Outcome r = Run("packages --json " + Quote(file.string()));
        const json j = json::parse(r.out, nullptr, false);
        if (r.code != 0 || !j.is_object()) return "(unread)";
        for (const json& f : j["documents"][0]["packages"][0]["fields"])
            if (f["name"] == "Headline") return f["value"];
        return "(none)";
    }

    TempDir fHome;
};

TEST_F(BatchWriteCommandTest, EveryDocumentIsWhollyWrittenOrLeftAsItWas) {
    const std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"};
    const std::set<std::string> all(names.begin(), names.end());
    const std::vector<Case> cases = {
        {"all written", "", {}, {}, {}, 1, 0},
        {"all written by two workers", "", {}, {}, {}, 2, 0},
        {"a read-only document in the middle", "", {}, {"c.jpg"}, {"c.jpg"}, 1, 2},
        {"a document without packages in the middle", "", {"c.jpg"}, {}, {"c.jpg"}, 1, 1},
        {"a rename fails at commit", "rename:b.jpg", {}, {}, {"b.jpg"}, 1, 2},
        {"a rename fails at commit, two workers", "rename:d.jpg", {}, {}, {"d.jpg"}, 2, 2},
        {"the sync fails at commit", "sync", {}, {}, all, 1, 2},
        {"the sync fails at commit, two workers", "sync", {"a.jpg"}, {}, all, 2, 2},
    };
    // Groups of two documents: a run of five commits three groups.
    Env group("BRINDLE_COMMIT_GROUP", "2");
    const std::string sample = ReadFile(kSample);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::map<std::string, std::string> before;
        std::string args = "set --jsonl -j " + std::to_string(c.jobs) + " -s Headline=Grouped";
        for (const std::string& n : names) {
            before[n] = c.corrupt.count(n) ? "not a picture at all" : sample;
            WriteFile(dir / n, before[n]);
            if (c.readOnly.count(n)) fs::permissions(dir / n, fs::perms::owner_read | fs::perms::group_read);
            args += " " + Quote((dir / n).string());
        }
        Outcome r;
        {
            Env fault("BRINDLE_COMMIT_FAULT", c.fault);
            r = Run(args);
        }
        EXPECT_EQ(r.code, c.code) << r.err;

        // One line per document in argument order, then the summary.
        std::vector<json> lines;
        size_t from = 0;
        for (size_t nl; (nl = r.out.find('\n', from)) != std::string::npos; from = nl + 1)
            lines.push_back(json::parse(r.out.substr(from, nl - from), nullptr, false));
        ASSERT_EQ(lines.size(), names.size() + 1) << r.out;
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string& n = names[i];
            SCOPED_TRACE(n);
            const bool kept = c.kept.count(n) > 0;
            EXPECT_EQ(lines[i]["file"], (dir / n).string());
            EXPECT_EQ(lines[i].contains("error"), kept) << lines[i].dump();
            EXPECT_EQ(lines[i].contains("set"), !kept) << lines[i].dump();
            if (kept) {
                EXPECT_EQ(ReadFile(dir / n), before[n]) << "left as it was, byte for byte";
                EXPECT_NE(r.err.find("brindle: error: " + (dir / n).string()), std::string::npos) << r.err;
            } else {
                EXPECT_EQ(Headline(dir / n), "Grouped");
            }
        }
        EXPECT_EQ(lines.back()["summary"]["failed"], c.kept.size()) << lines.back().dump();

        // Nothing of ours left in the folder.
        for (const auto& e : fs::directory_iterator(dir.path())) {
            EXPECT_NE(e.path().filename().string().rfind(FileUtils::kTemporaryPrefix, 0), 0u)
                << e.path().filename();
        }

        for (const std::string& n : HaveExiftool() ? names : std::vector<std::string>{}) {
            if (c.corrupt.count(n)) continue;
            SCOPED_TRACE(n);
            const std::string out = testsupport::CaptureOutput("exiftool -q -j -struct -XMP-dunmoreBRN:Packages " +
                                                               Quote((dir / n).string()) + " 2>/dev/null");
            const json all = json::parse(out, nullptr, false);
            ASSERT_TRUE(all.is_array()) << out;
            const json& fields = all[0]["Packages"][0]["Fields"];
            ASSERT_TRUE(fields.is_array()) << out;
            EXPECT_EQ(fields[0]["Name"], "Headline");
            EXPECT_EQ(fields[0]["Value"] == "Grouped", !c.kept.count(n)) << fields[0].dump();
        }
        // And no lock left behind: a one-shot write that does not wait takes the last document.
        Env noWait("BRINDLE_LOCK_TIMEOUT", "0");
        const Outcome again = Run("set -q -s Headline=Again " + Quote((dir / names.back()).string()));
        EXPECT_EQ(again.code, 0) << again.err;
    }
}

// The one-shot form writes its document at once, as it always did.
TEST_F(BatchWriteCommandTest, OneDocumentIsWrittenAtOnce) {
    TempDir dir;
    fs::copy_file(kSample, dir / "one.jpg");
    Env fault("BRINDLE_COMMIT_FAULT", "sync");
    const Outcome r = Run("set -s Headline=Alone " + Quote((dir / "one.jpg").string()));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Headline(dir / "one.jpg"), "Alone");
}

// A document named twice in one run is committed before it is opened again: both writes land.
TEST_F(BatchWriteCommandTest, ADocumentNamedTwiceTakesBothWrites) {
    TempDir dir;
    fs::copy_file(kSample, dir / "twice.jpg");
    fs::create_symlink(dir / "twice.jpg", dir / "link.jpg");
    Env group("BRINDLE_COMMIT_GROUP", "8");
    const Outcome r = Run("set -q -j 1 -s Headline=Twice " + Quote((dir / "twice.jpg").string()) + " " +
                          Quote((dir / "link.jpg").string()) + " " + Quote((dir / "twice.jpg").string()));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Headline(dir / "twice.jpg"), "Twice");
    EXPECT_TRUE(fs::is_symlink(dir / "link.jpg")) << "a link is written through, not replaced";
    const Outcome history = Run("packages --json " + Quote((dir / "twice.jpg").string()));
    const json j = json::parse(history.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << history.out;
    for (const json& f : j["documents"][0]["packages"][0]["fields"])
        if (f["name"] == "Headline") {
            EXPECT_EQ(f["history"].size(), 4u) << "the sample's entry and three more";
        }
}

// check --save over several documents commits their new files together as well: a document
// counts as saved only once its file is in place, and one that the commit could not put in
// place is reported as an error with its file as it was.
TEST_F(BatchWriteCommandTest, CheckWithSaveCommitsItsDocumentsTogether) {
    const std::vector<std::string> names = {"a.jpg", "b.jpg", "c.jpg"};
    struct SaveCase {
        const char* name;
        std::string fault;
        std::set<std::string> kept;
        int code;
    };
    const std::vector<SaveCase> cases = {
        {"all saved", "", {}, 0},
        {"a rename fails at commit", "rename:b.jpg", {"b.jpg"}, 2},
        {"the sync fails at commit", "sync", {"a.jpg", "b.jpg", "c.jpg"}, 2},
    };
    const std::string sample = ReadFile(kSample);
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string args = "check --save --jsonl";
        for (const std::string& n : names) {
            WriteFile(dir / n, sample);
            args += " " + Quote((dir / n).string());
        }
        Outcome r;
        {
            Env fault("BRINDLE_COMMIT_FAULT", c.fault);
            r = Run(args);
        }
        EXPECT_EQ(r.code, c.code) << r.err;
        std::map<std::string, json> entries, errors;
        size_t from = 0;
        for (size_t nl; (nl = r.out.find('\n', from)) != std::string::npos; from = nl + 1) {
            const json line = json::parse(r.out.substr(from, nl - from), nullptr, false);
            if (!line.contains("file")) continue;
            (line.contains("error") ? errors : entries)[fs::path(line["file"].get<std::string>()).filename()] = line;
        }
        for (const std::string& n : names) {
            SCOPED_TRACE(n);
            const bool kept = c.kept.count(n) > 0;
            ASSERT_TRUE(entries.count(n)) << r.out;
            EXPECT_EQ(entries[n]["saved"], !kept) << entries[n].dump();
            EXPECT_EQ(errors.count(n), kept ? 1u : 0u) << r.out;
            if (kept) {
                EXPECT_EQ(ReadFile(dir / n), sample) << "left as it was, byte for byte";
            } else {
                EXPECT_NE(ReadFile(dir / n), sample);
            }
        }
        for (const auto& e : fs::directory_iterator(dir.path()))
            EXPECT_NE(e.path().filename().string().rfind(FileUtils::kTemporaryPrefix, 0), 0u) << e.path().filename();
    }
}

} // namespace
