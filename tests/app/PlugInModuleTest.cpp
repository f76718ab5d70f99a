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

// The PDF reader is a module of its own beside the program, loaded only when a PDF is touched:
// other documents are read without it (and without the libraries it brings), and a program
// without it still reads them, while a PDF is refused with the module's name and left as it was.
TEST(PlugInModule, ThePdfReaderIsLoadedOnlyForPdfs) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& module)> make; // empty: the program's own folder
        const char* reason;
    };
    const fs::path built = fs::path(BRINDLE_BINARY).parent_path();
    const Case cases[] = {
        {"beside the program", nullptr, ""},
        {"missing", [](const fs::path&) {}, "No such file"},
        {"not a module", [](const fs::path& f) { WriteFile(f, "not a module\n"); }, "brindle-pdf.so"},
        {"another module", [&](const fs::path& f) { fs::copy_file(built / "brindle-commands.so", f); },
         "BrindlePdfFunctions"},
    };
    for (const Case& c : cases) {
        TempDir home, folder, docs;
        fs::path program = BRINDLE_BINARY;
        if (c.make) {
            for (const char* name : {"brindle", "brindle-commands.so", "Brindle.pln"})
                fs::copy_file(built / name, folder / name);
            c.make(folder / "brindle-pdf.so");
            program = folder / "brindle";
        }
        const fs::path jpg = docs / "one.jpg", pdf = docs / "one.pdf";
        fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg", jpg);
        fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.pdf", pdf);
        fs::permissions(pdf, fs::perms::owner_write, fs::perm_options::add);
        const std::string run = "LD_DEBUG=files " + Quote(program) + " --home " + Quote(home.path()) + " ";
        int status = 0;
        ASSERT_EQ(RunBrindle("--home " + Quote(home.path()) + " library import " +
                             Quote(SamplesLibrary() / "Editorial_ID.xml")),
                  0);

        const std::string jpgRun = CaptureOutput(run + "packages " + Quote(jpg) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << c.what << ": " << jpgRun;
        EXPECT_NE(jpgRun.find("Editorial"), std::string::npos) << c.what;
        EXPECT_EQ(jpgRun.find("libqpdf"), std::string::npos) << c.what << ": a JPEG loaded the PDF reader";
        EXPECT_EQ(jpgRun.find("brindle-pdf.so"), std::string::npos) << c.what;
        EXPECT_EQ(jpgRun.find("libcpp-httplib"), std::string::npos) << c.what << ": a JPEG loaded the web server";
        EXPECT_EQ(jpgRun.find("libedit"), std::string::npos) << c.what << ": a JPEG loaded the line editor";

        const std::string before = ReadFile(pdf);
        const std::string pdfRun = CaptureOutput(run + "apply " + Quote(pdf) + " Editorial 2>&1", &status);
        if (!c.make) {
            EXPECT_EQ(status, 0) << pdfRun;
            EXPECT_NE(pdfRun.find("libqpdf"), std::string::npos) << pdfRun;
            EXPECT_NE(ReadFile(pdf), before);
            EXPECT_EQ(CaptureOutput("qpdf --check " + Quote(pdf) + " >/dev/null 2>&1; echo $?"), "0\n");
        } else {
            EXPECT_EQ(status, 2 << 8) << c.what << ": " << pdfRun;
            EXPECT_NE(pdfRun.find("the PDF reader " + (folder / "brindle-pdf.so").string() + " cannot be loaded"),
                      std::string::npos)
                << c.what << ": " << pdfRun;
            EXPECT_NE(pdfRun.find(c.reason), std::string::npos) << c.what << ": " << pdfRun;
            EXPECT_EQ(ReadFile(pdf), before) << c.what;
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
