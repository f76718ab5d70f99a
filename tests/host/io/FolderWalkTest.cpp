// FolderWalk lists a tree's files in name order, leaves symbolic links alone unless asked,
// and ends on a link that leads back into the tree.
#include "io/FolderWalk.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Walk(const fs::path& root, bool follow) {
    std::vector<std::string> found;
    FolderWalk::Walk(
        root, follow, [&](const fs::path& p) { found.push_back(p.lexically_relative(root).string()); },
        [](const fs::path&, const std::error_code&) {});
    return found;
}

TEST(FolderWalk, NameOrderLinksOnlyWhenAskedAndLoopsEnd) {
    testsupport::TempDir dir;
    const fs::path root = dir / "tree";
    fs::create_directories(root / "b" / "deep");
    fs::create_directories(dir / "outside");
    testsupport::WriteFile(root / "c.jpg", "c");
    testsupport::WriteFile(root / "a.jpg", "a");
    testsupport::WriteFile(root / "b" / "deep" / "x.pdf", "x");
    testsupport::WriteFile(dir / "outside" / "o.jpg", "o");
    fs::create_directory_symlink(dir / "outside", root / "linked");
    fs::create_symlink(root / "a.jpg", root / "z-link.jpg");
    fs::create_directory_symlink(root, root / "b" / "loop");

    EXPECT_EQ(Walk(root, false), (std::vector<std::string>{"a.jpg", "b/deep/x.pdf", "c.jpg"}));
    EXPECT_EQ(Walk(root, true),
              (std::vector<std::string>{"a.jpg", "b/deep/x.pdf", "c.jpg", "linked/o.jpg", "z-link.jpg"}));
}

TEST(FolderWalk, AFolderThatCannotBeListedIsReportedAndTheWalkGoesOn) {
    testsupport::TempDir dir;
    std::vector<std::string> faults;
    std::vector<std::string> found;
    FolderWalk::Walk(
        dir / "none", false, [&](const fs::path& p) { found.push_back(p.string()); },
        [&](const fs::path& p, const std::error_code&) { faults.push_back(p.string()); });
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(faults, std::vector<std::string>{(dir / "none").string()});
}

} // namespace
