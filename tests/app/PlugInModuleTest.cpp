// The program runs the plug-in as a module loaded from the plug-in folder.
#include "TestSupport.h"

#include <filesystem>
#include <functional>
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

// The PDF reader and the layout package reader are modules of their own beside the program,
// each loaded only when its kind of document is touched: other documents are read without them
// (and without the libraries they bring), and a program without one still reads every other
// document, while its kind is refused with the module's name and left as it was.
TEST(PlugInModule, TheReadersAreLoadedOnlyForTheirDocuments) {
    struct Reader {
        const char* module;
        const char* what;
        fs::path sample;
        const char* library; // what the module brings
    };
    const Reader readers[] = {
        {"brindle-pdf.so", "PDF reader", fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.pdf",
         "libqpdf"},
        {"brindle-idml.so", "layout package reader", fs::path(BRINDLE_TEST_DATA) / "idml/4_story_pointers.idml",
         "libzip"},
    };
    struct Case {
        const char* what;
        std::function<void(const fs::path& module)> make; // empty: the program's own folder
        const char* reason;
    };
    const fs::path built = fs::path(BRINDLE_BINARY).parent_path();
    const Case cases[] = {
        {"beside the program", nullptr, ""},
        {"missing", [](const fs::path&) {}, "No such file"},
        {"not a module", [](const fs::path& f) { WriteFile(f, "not a module\n"); }, "file too short"},
        {"another module", [&](const fs::path& f) { fs::copy_file(built / "brindle-commands.so", f); },
         "undefined symbol: Brindle"},
    };
    for (const Reader& r : readers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(r.module) + ", " + c.what);
            TempDir home, folder, docs;
            fs::path program = BRINDLE_BINARY;
            if (c.make) {
                for (const char* name : {"brindle", "brindle-commands.so", "Brindle.pln", "brindle-pdf.so",
                                         "brindle-idml.so"})
                    if (name != std::string(r.module)) fs::copy_file(built / name, folder / name);
                c.make(folder / r.module);
                program = folder / "brindle";
            }
            const fs::path jpg = docs / "one.jpg", doc = docs / r.sample.filename();
            fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg", jpg);
            fs::copy_file(r.sample, doc);
            fs::permissions(doc, fs::perms::owner_write, fs::perm_options::add);
            const std::string run = "LD_DEBUG=files " + Quote(program) + " --home " + Quote(home.path()) + " ";
            int status = 0;
            ASSERT_EQ(RunBrindle("--home " + Quote(home.path()) + " library import " +
                                 Quote(SamplesLibrary() / "Editorial_ID.xml")),
                      0);

            const std::string jpgRun = CaptureOutput(run + "packages " + Quote(jpg) + " 2>&1", &status);
            EXPECT_EQ(status, 0) << jpgRun;
            EXPECT_NE(jpgRun.find("Editorial"), std::string::npos);
            for (const char* library : {"libqpdf", "libzip", "libcrypto", "libcpp-httplib", "libedit",
                                        "brindle-pdf.so", "brindle-idml.so", "brindle-serve.so"})
                EXPECT_EQ(jpgRun.find(library), std::string::npos) << "a JPEG loaded " << library;

            const std::string before = ReadFile(doc);
            const std::string docRun = CaptureOutput(run + "apply " + Quote(doc) + " Editorial 2>&1", &status);
            if (!c.make) {
                EXPECT_EQ(status, 0) << docRun;
                EXPECT_NE(docRun.find(r.library), std::string::npos) << docRun;
                EXPECT_NE(ReadFile(doc), before);
            } else {
                EXPECT_EQ(status, 2 << 8) << docRun;
                EXPECT_NE(docRun.find(std::string("the ") + r.what + " " + (folder / r.module).string() +
                                      " cannot be loaded"),
                          std::string::npos)
                    << docRun;
                EXPECT_NE(docRun.find(c.reason), std::string::npos) << docRun;
                EXPECT_EQ(ReadFile(doc), before);
            }
        }
    }
}

// The web server is a module of its own too, loaded by `serve` alone.
TEST(PlugInModule, AProgramWithoutTheWebServerRefusesToServeNamingIt) {
    TempDir home, folder;
    const fs::path built = fs::path(BRINDLE_BINARY).parent_path();
    for (const char* name : {"brindle", "brindle-commands.so", "Brindle.pln"})
        fs::copy_file(built / name, folder / name);
    int status = 0;
    const std::string out = CaptureOutput(Quote(folder / "brindle") + " --home " + Quote(home.path()) +
                                              " serve --listen 127.0.0.1:0 --root " + Quote(folder.path()) + " 2>&1",
                                          &status);
    EXPECT_EQ(status, 2 << 8) << out;
    EXPECT_NE(out.find("the web server " + (folder / "brindle-serve.so").string() + " cannot be loaded"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("serving"), std::string::npos) << out;
}
