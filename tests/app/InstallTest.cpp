// cmake --install puts the program, its plug-in module, its samples, its manual page and its bash completion
// where a user's system looks for them, and the installed program runs.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;
using testsupport::CaptureOutput;
using testsupport::Quote;

namespace {

TEST(InstallTest, InstallsTheProgramSamplesManualPageAndCompletion) {
    testsupport::TempDir prefix;
    const fs::path build = fs::path(BRINDLE_BINARY).parent_path().parent_path();
    int status = 0;
    CaptureOutput("cmake --install " + Quote(build) + " --prefix " + Quote(prefix.path()) +
                      " >/dev/null 2>&1",
                  &status);
    ASSERT_EQ(status, 0);
    const fs::path bin = prefix / "bin" / "brindle";
    EXPECT_EQ(CaptureOutput(Quote(bin) + " --version"), "brindle 1.0.0\n");
    EXPECT_TRUE(fs::exists(prefix / "share/brindle/samples/library/Editorial_ID.xml"));
    // The plug-in module and its defaults file sit beside the program that loads it.
    const fs::path program = fs::canonical(bin).parent_path();
    EXPECT_TRUE(fs::exists(program / "Brindle.pln"));
    EXPECT_TRUE(fs::exists(program / "BrindleDefaults.xml"));
    // So do the modules loaded on demand: the web server of `serve`, the shell's line editor, the
    // layout package reader and the PDF reader, which the installed program loads when it meets
    // a PDF.
    EXPECT_TRUE(fs::exists(program / "brindle-serve.so"));
    EXPECT_TRUE(fs::exists(program / "brindle-lineedit.so"));
    EXPECT_TRUE(fs::exists(program / "brindle-idml.so"));
    const std::string pdf = CaptureOutput(Quote(bin) + " --home " + Quote(prefix / "home") + " packages " +
                                          Quote(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.pdf") +
                                          " 2>&1");
    EXPECT_EQ(pdf.find("cannot be loaded"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("Editorial-BlueSquare.pdf"), std::string::npos) << pdf;
    if (std::system("help2man --version >/dev/null 2>&1") == 0) {
        const std::string man = testsupport::ReadFile(prefix / "share/man/man1/brindle.1");
        EXPECT_NE(man.find(".TH BRINDLE"), std::string::npos);
        EXPECT_NE(man.find("EXIT STATUS"), std::string::npos);
    }
    // The completion offers the commands, then a command's own options.
    const fs::path completion = prefix / "share/bash-completion/completions/brindle";
    auto complete = [&](const std::string& words, int at) {
        return CaptureOutput("bash -c " + Quote("source " + Quote(completion) + "; COMP_WORDS=(" + words +
                                                "); COMP_CWORD=" + std::to_string(at) +
                                                "; _brindle; echo \"${COMPREPLY[*]}\""));
    };
    EXPECT_EQ(complete("brindle pack", 1), "packages\n");
    EXPECT_EQ(complete("brindle set --fi", 2), "--files-from\n");
}

} // namespace
