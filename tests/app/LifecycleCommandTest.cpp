// The plug-in's document lifecycle as the one-shot commands run it: announcements of open,
// save and close, read-only commands that announce nothing, and the question for a document
// holding both namespaces.
#include "TestSupport.h"

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class LifecycleCommandTest : public CommandSessionTest {
protected:
    fs::path Copy(const char* name) { return CopyJpeg(name); }
};

TEST_F(LifecycleCommandTest, OpenSaveAndCloseAnnouncedWithTheExactPayload) {
    testsupport::DatagramListener listener;
    const fs::path file = Copy("day one.jpg");
    ASSERT_EQ(Run("--companion " + listener.Destination() + " apply " + Quote(file) + " Editorial"), 0)
        << fErr;
    const std::string tail = "CORVANEDELAnnCORVANEDEL" + FileURL(file);
    EXPECT_EQ(listener.Drain(),
              (std::vector<std::string>{"WINCORVANEDELOPEN" + tail, "WINCORVANEDELSAVE" + tail,
                                        "WINCORVANEDELCLOSE" + tail}));

    // Read-only commands announce nothing; nor does any command without a destination.
    ASSERT_EQ(Run("--companion " + listener.Destination() + " packages " + Quote(file)), 0) << fErr;
    ASSERT_EQ(Run("--companion " + listener.Destination() + " check " + Quote(file)), 3) << fErr;
    ASSERT_EQ(Run("set " + Quote(file) + " Headline=Quiet"), 0) << fErr;
    EXPECT_TRUE(listener.Drain().empty());
}

TEST_F(LifecycleCommandTest, TheMakersComponentStopsTheAnnouncements) {
    testsupport::DatagramListener listener;
    const fs::path file = Copy("one.jpg");
    fs::create_directories(fHome.path() / "config/brindle");
    WriteFile(fHome.path() / "config/brindle/host.conf",
              "# the maker's component is loaded\nplugin = 0x64DB0\ncompanion = " + listener.Destination() +
                  "\n");
    ASSERT_EQ(Run("apply " + Quote(file) + " Editorial"), 0) << fErr;
    EXPECT_TRUE(listener.Drain().empty());

    WriteFile(fHome.path() / "config/brindle/host.conf", "companion 127.0.0.1:1\n");
    EXPECT_NE(Run("apply " + Quote(file) + " Editorial"), 0);
    EXPECT_NE(fErr.find("host.conf:1: not a setting"), std::string::npos) << fErr;
}

// A close that goes on whatever its check finds (a one-shot command's, a session's close that
// may not be cancelled) closes the document without saving: the check still reports the
// missing fields, but stores nothing into packages the close throws away.
TEST_F(LifecycleCommandTest, ACloseThatGoesOnReportsAndStoresNothing) {
    const fs::path file = Copy("one.jpg");
    ASSERT_EQ(Run("apply " + Quote(file) + " Editorial"), 0) << fErr;
    const fs::path log = fDir.path() / "brindle.log";
    // The plug-in's stores of packages in the log, which is then begun anew.
    auto stores = [&] {
        const std::string text = ReadFile(log);
        fs::remove(log);
        return PackageStoresLogged(text);
    };
    const std::string logging = "--log-level 100 --log-file " + Quote(log) + " ";
    ASSERT_EQ(Run(logging + "set " + Quote(file) + " Headline=Once"), 0) << fErr;
    EXPECT_EQ(stores(), 1u) << "the set's own store, and none at the close";
    ASSERT_EQ(Shell("open " + Quote(file) + "\nset Headline=Twice\nsave\nclose --no-cancel\n", logging), 0)
        << fOut << fErr;
    EXPECT_EQ(stores(), 1u);
    // Author, required, is empty: the close that may not be cancelled still says so.
    EXPECT_NE(fErr.find("- Author"), std::string::npos) << fErr;
    ASSERT_EQ(Run("packages " + Quote(file)), 0) << fErr;
    EXPECT_NE(fOut.find("Headline [Headline] String, required: Twice"), std::string::npos) << fOut;
}

TEST_F(LifecycleCommandTest, BothNamespacesAskOnOpen) {
    const char* packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:old=\"http://www.corvane.dk/xmp/indesign/brindle/1.0/\" "
        "xmlns:dunmoreBRN=\"https://ns.corvane.com/xmp/indesign/brindle/2.0/\" old:DocType=\"InDesign\" "
        "dunmoreBRN:DocType=\"InDesign\"/></rdf:RDF></x:xmpmeta>";
    struct Case {
        const char* answer;
        bool legacyKept;
    };
    for (const Case c : {Case{"yes", false}, Case{"no", true}}) {
        const fs::path file = fDir.path() / (std::string("dual-") + c.answer + ".txt");
        WriteFile(file, "text");
        WriteFile(fs::path(file.string() + ".xmp"), packet);
        ASSERT_EQ(Run(std::string("--answer ") + c.answer + " apply " + Quote(file) + " Editorial"), 0)
            << fErr;
        EXPECT_NE(fErr.find("alert: "), std::string::npos) << fErr;
        const std::string saved = ReadFile(fs::path(file.string() + ".xmp"));
        EXPECT_EQ(saved.find("brindle/1.0/") != std::string::npos, c.legacyKept) << c.answer << "\n" << saved;
    }
}

} // namespace
