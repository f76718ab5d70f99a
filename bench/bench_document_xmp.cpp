// Packages in a document's XMP packet: writing and reading back a large set against exempi
// alone serializing and parsing the same packet, and reading the packages of many JPEG
// files the way `brindle packages` does.
//
// `bench_document_xmp --make-jpegs DIR` only writes the JPEG files into DIR and exits
// (bench/peer_exiftool.sh uses it to time the command against exiftool).
#include "base/GlobalTime.h"
#include "base/HostConfig.h"
#include "BRNPlugIn.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "formats/XMPFiles.h"
#include "logic/BRNPackageUtils.h"
#include "metadata/BRNXMPSchema.h"
#include "model/BRNField.h"
#include "model/BRNHistory.h"
#include "model/BRNPackage.h"
#include "objectmodel/InterfacePtr.h"
#include "session/Host.h"
#include "ui/CAlert.h"
#include "xmp/XMPPacketAccess.h"
#include "xmp/XMPPacketLimits.h"

#include "MedianReporter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kDocPackages = 10;
constexpr int kDocFields = 100;
constexpr int kDocHistory = 20;

constexpr int kJpegFiles = 2000;
constexpr int kJpegFields = 40;
constexpr int kJpegHistory = 3;

const char* const kSampleJpeg = BRINDLE_TEST_DATA "/xmp-files/BlueSquare.jpg";

PMString Str(const std::string& s) {
    PMString p(s);
    p.SetTranslatable(kFalse);
    return p;
}

PMStringList StrList(std::initializer_list<const char*> items) {
    PMStringList l;
    for (const char* s : items)
        l.push_back(Str(s));
    return l;
}

// The field types in turn, with the values a production package holds, and a history of
// earlier values by two users.
BRNField MakeField(int pkg, int index, int history) {
    const int32 type = index % kBRNTypeCount;
    const std::string n = std::to_string(index);
    BRNField f(Str(BRNField::TypeName(type).GetUTF8String() + " field " + n));
    f.SetType(type);
    f.SetShortName(Str("F" + n));
    f.SetDescription(Str("Filled in by the desk before the page goes to print, section " + n + " (package " +
                         std::to_string(pkg) + ")."));
    f.SetRequired(index % 3 == 0);
    f.SetHidden(index % 17 == 0);
    switch (type) {
    case kBRNTypeInteger:
        f.SetValue(Str(std::to_string(1000 + index * 7)));
        f.SetHasDefault(kTrue);
        f.SetDefaultValue(Str("0"));
        break;
    case kBRNTypeBoolean:
        f.SetBoolValue(index % 2 == 0);
        break;
    case kBRNTypeChoice:
        f.SetOptions(StrList({"Draft", "In review", "Approved", "Sent to print", "Archived"}));
        f.SetValue(Str("In review"));
        break;
    case kBRNTypeText:
        f.SetValue(Str("Erste Zeile des Vermerks " + n + ".\nZweite Zeile mit \"Zitat\" & <Klammern>."));
        break;
    case kBRNTypeMultiChoice:
        f.SetOptions(StrList({"Print", "Web", "App", "Newsletter", "Social"}));
        f.SetSelectedValues(StrList({"Print", "App"}), Str(", "));
        break;
    case kBRNTypeDeadline:
        f.SetDeadline(
            BRNDeadline(Str("2024-05-1" + std::to_string(index % 10) + " 18:00"), Str(""), Str("")));
        break;
    default:
        f.SetValue(Str("Nordlicht Verlag M\xC3\xBCnchen, Ausgabe " + n));
        break;
    }
    for (int h = 0; h < history; ++h) {
        GlobalTime when;
        when.SetTime(2024, 1 + h % 12, 1 + h % 28, 9 + h % 8, h % 60, 0);
        f.GetHistory().emplace_back(Str(h % 2 ? "schmidt" : "meier"), Str(h % 2 ? "S." : ""), when,
                                    Str("Wert " + std::to_string(h) + " von " + n));
    }
    return f;
}

BRNPackage MakePackage(int pkg, int fields, int history) {
    BRNFieldList list;
    for (int i = 0; i < fields; ++i)
        list.push_back(MakeField(pkg, i, history));
    BRNPackage p(list, Str("Package " + std::to_string(pkg)), PMString(), 1000 + pkg);
    p.SetVersion(static_cast<uint32>(1 + pkg % 7));
    p.SetEnabled(kTrue);
    return p;
}

size_t CountFields(const BRNPackageList& list) {
    size_t n = 0;
    for (const BRNPackage& p : list)
        n += p.GetFields().size();
    return n;
}

fs::path MakeTempDir(const char* stem) {
    std::string tmpl = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

// Copies of the sample JPEG, each given one package through the file handlers; the sample
// itself is only read.
std::vector<IDFile> MakeJpegs(const fs::path& dir) {
    fs::create_directories(dir);
    std::vector<IDFile> files;
    BRNXMPDocumentInfo doc;
    for (int i = 0; i < kJpegFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%04d.jpg", i);
        const fs::path path = dir / name;
        fs::copy_file(kSampleJpeg, path, fs::copy_options::overwrite_existing);
        // The sample is read-only and the copy keeps its permission bits.
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        BRNXMPWriteRequest request;
        request.packages = {MakePackage(i, kJpegFields, kJpegHistory)};
        InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
        std::string rdf;
        bool sidecar = false;
        if (XMPFiles::Read(IDFile(path), &rdf, &sidecar) == XMPFiles::Result::kOK && !xmp->ParsePacket(rdf))
            throw std::runtime_error("sample packet does not parse");
        BRNXMPSchema::Write(xmp, request, &doc);
        if (XMPFiles::Write(IDFile(path), xmp->SerializePacket()) != XMPFiles::Result::kOK)
            throw std::runtime_error("cannot write " + path.string());
        files.emplace_back(path);
    }
    return files;
}

// The host with the plug-in in a temporary home, and the JPEG files, made once per process
// and removed at exit.
class Setup {
public:
    static Setup& Get() {
        static Setup s;
        return s;
    }
    ~Setup() {
        Host::Stop();
        std::error_code ec;
        fs::remove_all(fHome, ec);
    }
    const BRNPackageList& DocPackages() const { return fDocPackages; }
    const std::vector<IDFile>& Jpegs() {
        if (fJpegs.empty()) fJpegs = MakeJpegs(fHome / "jpegs");
        return fJpegs;
    }

private:
    Setup() {
        fHome = MakeTempDir("brindle-bench-xmp");
        HostConfig& cfg = HostConfig::Get();
        cfg.home = fHome;
        cfg.pluginDir = fHome / "plugin";
        cfg.userName = "bench";
        CAlert::SetSink(std::make_shared<RecordingAlertSink>());
        if (!Host::Start(GetPlugIn())) throw std::runtime_error("host did not start");
        for (int i = 0; i < kDocPackages; ++i)
            fDocPackages.push_back(MakePackage(i, kDocFields, kDocHistory));
    }

    fs::path fHome;
    BRNPackageList fDocPackages;
    std::vector<IDFile> fJpegs;
};

// A document's save and open without the disk: the packages written into a fresh packet,
// serialized, parsed into another packet and read back.
void BM_WriteReadPackages(benchmark::State& state) {
    const Setup& s = Setup::Get();
    BRNXMPDocumentInfo doc;
    BRNXMPWriteRequest request;
    request.packages = s.DocPackages();
    size_t bytes = 0;
    for (auto _ : state) {
        InterfacePtr<IXMPPacketAccess> out(new XMPPacketAccess());
        BRNXMPSchema::Write(out, request, &doc);
        const std::string rdf = out->SerializePacket();
        InterfacePtr<IXMPPacketAccess> in(new XMPPacketAccess());
        if (!in->ParsePacket(rdf)) {
            state.SkipWithError("packet does not parse");
            break;
        }
        const BRNPackageList read = BRNXMPSchema::Read(in);
        if (read.size() != kDocPackages || CountFields(read) != kDocPackages * kDocFields) {
            state.SkipWithError("packages not read back in full");
            break;
        }
        bytes = rdf.size();
    }
    state.counters["packet_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteReadPackages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: exempi alone serializing the packet the writer built and parsing the text
// into a fresh packet.
void BM_ExempiSerializeParse(benchmark::State& state) {
    const Setup& s = Setup::Get();
    BRNXMPDocumentInfo doc;
    BRNXMPWriteRequest request;
    request.packages = s.DocPackages();
    InterfacePtr<IXMPPacketAccess> built(new XMPPacketAccess());
    BRNXMPSchema::Write(built, request, &doc);
    for (auto _ : state) {
        const std::string rdf = built->SerializePacket();
        InterfacePtr<IXMPPacketAccess> in(new XMPPacketAccess());
        if (!in->ParsePacket(rdf)) {
            state.SkipWithError("packet does not parse");
            break;
        }
        benchmark::DoNotOptimize(in.get());
    }
}
BENCHMARK(BM_ExempiSerializeParse)->Unit(benchmark::kMillisecond)->UseRealTime();

// The batch path of `brindle packages`: open each file, read its packages, close it.
void BM_ReadJpegPackages(benchmark::State& state) {
    Setup& s = Setup::Get();
    const std::vector<IDFile>& files = s.Jpegs();
    for (auto _ : state) {
        for (const IDFile& file : files) {
            IDocument* doc = Host::OpenDocument(file);
            if (!doc) {
                state.SkipWithError("document did not open");
                return;
            }
            IDataBase* db = doc->GetDocumentDataBase();
            const BRNPackageList list = BRNPackageUtils::ReadPackages(UIDRef(db, db->GetRootUID()));
            Host::CloseDocument(doc);
            if (list.size() != 1 || list[0].GetFields().size() != kJpegFields) {
                state.SkipWithError("package not read");
                return;
            }
        }
    }
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(files.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadJpegPackages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The largest packets accepted: the deepest nesting and the most elements under one element.
std::string LimitPacket(bool deep) {
    std::string body;
    if (deep) {
        std::string open, close;
        for (size_t i = 0; i + 4 < XMPPacketLimits::kMaxDepth; ++i) {
            open += "<t:s rdf:parseType=\"Resource\">";
            close += "</t:s>";
        }
        body = open + "<t:leaf>x</t:leaf>" + close;
    } else {
        for (size_t i = 0; i < XMPPacketLimits::kMaxChildren; ++i)
            body += "<t:p" + std::to_string(i) + ">v</t:p" + std::to_string(i) + ">";
    }
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:t=\"http://ns.example.com/t/\">" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

void BM_ParseLargestAcceptedPacket(benchmark::State& state) {
    const std::string rdf = LimitPacket(state.range(0) == 1);
    for (auto _ : state) {
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        if (!xmp->ParsePacket(rdf)) state.SkipWithError("refused");
    }
    state.SetLabel(state.range(0) == 1 ? "256 levels" : "10,000 siblings");
}
BENCHMARK(BM_ParseLargestAcceptedPacket)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the summary of this program's figures after the console table.
class RatioReporter : public MedianReporter {
public:
    void PrintSummary() const {
        const double ours = Wall("BM_WriteReadPackages"), base = Wall("BM_ExempiSerializeParse");
        if (ours > 0 && base > 0) {
            std::printf("\nwrite+read of %d packages x %d fields x %d history entries\n", kDocPackages,
                        kDocFields, kDocHistory);
            std::printf("  ours %.2f ms wall (%.2f CPU), exempi alone %.2f ms wall (%.2f CPU)\n", 1e3 * ours,
                        1e3 * Cpu("BM_WriteReadPackages"), 1e3 * base, 1e3 * Cpu("BM_ExempiSerializeParse"));
            std::printf("  ratio %.2f wall, %.2f CPU (goal: at most 2)\n", ours / base,
                        Cpu("BM_WriteReadPackages") / Cpu("BM_ExempiSerializeParse"));
        }
        const double jpegs = Wall("BM_ReadJpegPackages");
        if (jpegs > 0)
            std::printf("reading %d JPEG files in-process: %.0f files/s wall (%.3f ms per file)\n",
                        kJpegFiles, kJpegFiles / jpegs, 1e3 * jpegs / kJpegFiles);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--make-jpegs") == 0) {
        try {
            Setup::Get();
            MakeJpegs(argv[2]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "cannot make the files: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    try {
        Setup::Get();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot set up: %s\n", e.what());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
