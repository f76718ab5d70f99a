// The companion datagram and the companion-mode flag.
#include "TestSupport.h"

#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IDocument.h"
#include "files/BRNUtils.h"
#include "io/FileUtils.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class CompanionTest : public HostFixture {
protected:
    IDocument* DocumentAt(const fs::path& file) {
        WriteFile(file, "text");
        return Host::NewDocument(IDFile(file));
    }
};

TEST_F(CompanionTest, PayloadNamesEventUserAndFileURL) {
    struct Case {
        const char* user;
        const char* alias;
        const char* fileName;
        const char* event;
        std::string userPiece;
    };
    const Case cases[] = {
        {"login", "Ann", "plain.txt", "OPEN", "Ann"},
        {"login", "", "plain.txt", "SAVE", "login"},
        {"", "", "plain.txt", "CLOSE", ""},
        {"login", "Åse", "with blanks in it.txt", "CLOSE", "Åse"},
    };
    for (const Case& c : cases) {
        HostConfig::Get().userName = c.user;
        HostConfig::Get().alias = c.alias;
        const fs::path file = fHome->path() / c.fileName;
        IDocument* doc = DocumentAt(file);
        ASSERT_TRUE(doc);
        const std::string url = FileUtils::FileToURL(IDFile(file)).GetUTF8String();
        EXPECT_EQ(BRNUtils::DocumentEventPayload(doc, PMString(c.event)),
                  std::string("WINCORVANEDEL") + c.event + "CORVANEDEL" + c.userPiece + "CORVANEDEL" + url)
            << c.fileName;
        if (std::string(c.fileName).find(' ') != std::string::npos) {
            EXPECT_EQ(url.find(' '), std::string::npos);
        }
        Host::CloseDocument(doc);
    }
}

TEST_F(CompanionTest, SentOnlyToTheConfiguredDestination) {
    testsupport::DatagramListener listener;
    HostConfig::Get().alias = "Ann";
    IDocument* doc = DocumentAt(fHome->path() / "a.txt");
    ASSERT_TRUE(doc);

    HostConfig::Get().companion.clear();
    BRNUtils::NotifyDocumentEvent(doc, PMString("OPEN"));
    EXPECT_FALSE(listener.Receive(200)) << "sent without a destination";

    HostConfig::Get().companion = listener.Destination();
    BRNUtils::NotifyDocumentEvent(doc, PMString("SAVE"));
    auto got = listener.Receive();
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, BRNUtils::DocumentEventPayload(doc, PMString("SAVE")));
    EXPECT_NE(got->back(), '\0');
    EXPECT_NE(got->back(), '\n');

    // A document that was never saved has no file: nothing goes out.
    IDocument* unsaved = Host::NewDocument();
    BRNUtils::NotifyDocumentEvent(unsaved, PMString("CLOSE"));
    EXPECT_FALSE(listener.Receive(200));
}

TEST_F(CompanionTest, ModeFromCompanionPlugInOrMarkerInTextEdition) {
    struct Case {
        bool companionLoaded;
        HostConfig::Edition edition;
        bool marker;
        int16 mode;
    };
    const Case cases[] = {
        {true, HostConfig::Edition::kLayout, false, 1},
        {false, HostConfig::Edition::kLayout, true, 0}, // the layout edition never looks
        {false, HostConfig::Edition::kText, true, 1},
        {false, HostConfig::Edition::kText, false, 0},
    };
    const fs::path marker = fHome->path() / "plugin" / "sidelink";
    for (const Case& c : cases) {
        HostConfig::Get().presentPlugins.clear();
        if (c.companionLoaded) HostConfig::Get().presentPlugins.push_back(BRNUtils::kCompanionPluginID);
        HostConfig::Get().edition = c.edition;
        fs::create_directories(marker.parent_path());
        fs::remove(marker);
        if (c.marker) WriteFile(marker, "");
        StartHost();
        EXPECT_EQ(BRNUtils::IsCompanionMode(), c.mode) << c.companionLoaded << c.marker;
    }
}

TEST_F(CompanionTest, ModeStaysForTheLifeOfThePlugIn) {
    HostConfig::Get().edition = HostConfig::Edition::kText;
    const fs::path marker = fHome->path() / "plugin" / "sidelink";
    fs::create_directories(marker.parent_path());
    WriteFile(marker, "");
    StartHost();
    EXPECT_EQ(BRNUtils::IsCompanionMode(), 1);
    fs::remove(marker);
    EXPECT_EQ(BRNUtils::IsCompanionMode(), 1);
    StartHost();
    EXPECT_EQ(BRNUtils::IsCompanionMode(), 0);
}

} // namespace
