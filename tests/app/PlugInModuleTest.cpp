// The program runs the plug-in as a module loaded from the plug-in folder.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

TEST(PlugInModule, LoadedFromAFolderOtherThanTheProgramsWithItsDefaultsFiles) {
    TempDir home;
    const fs::path folder = PlugInFolderWith(fs::path(BRINDLE_SOURCE_DIR) / "samples/plugin");
    ASSERT_NE(folder.parent_path(), fs::path(BRINDLE_BINARY).parent_path());
    std::string out, err;
    const std::string base = "--home " + Quote(home.path()) + " --plugin-dir " + Quote(folder) + " ";
    ASSERT_EQ(RunBrindle(base + "library import " + Quote(SamplesLibrary() / "Editorial_ID.xml"), &out, &err), 0)
        << err;
    // The colour table comes from the defaults file beside the module, not from the program's folder.
    ASSERT_EQ(RunBrindle(base + "deadline-colour Editorial \"$(date +%Y/%m/%d)\" '' --json", &out, &err), 0) << err;
    EXPECT_NE(out.find("\"defaultColour\": false"), std::string::npos) << out;
    ASSERT_EQ(RunBrindle("--home " + Quote(home.path()) + " --plugin-dir " + Quote(PlugInFolderWith()) +
                             " deadline-colour Editorial \"$(date +%Y/%m/%d)\" '' --json",
                         &out, &err),
              0)
        << err;
    EXPECT_NE(out.find("\"defaultColour\": true"), std::string::npos) << out;
}

TEST(PlugInModule, AMissingOrBrokenModuleIsAnErrorNamingTheFile) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* reason;
    };
    const fs::path commands = fs::path(BRINDLE_BINARY).parent_path() / "brindle-commands.so";
    const Case cases[] = {
        {"missing", [](const fs::path&) {}, "no such file"},
        {"text", [](const fs::path& f) { WriteFile(f, "not a module\n"); }, ""},
        {"empty", [](const fs::path& f) { WriteFile(f, ""); }, ""},
        {"another module", [&](const fs::path& f) { fs::copy_file(commands, f); }, ""},
    };
    for (const Case& c : cases) {
        TempDir home, folder;
        const fs::path module = folder / "Brindle.pln";
        c.make(module);
        std::string out, err;
        const int code =
            RunBrindle("--home " + Quote(home.path()) + " --plugin-dir " + Quote(folder.path()) + " settings",
                       &out, &err);
        EXPECT_EQ(code, 2) << c.what;
        EXPECT_NE(err.find("brindle: error: cannot load the plug-in module " + module.string()),
                  std::string::npos)
            << c.what << ": " << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << c.what << ": " << err;
        EXPECT_TRUE(out.empty()) << c.what;
    }
}

} // namespace
