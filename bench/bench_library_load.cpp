// How long the plug-in takes to read its package library at start, against expat alone
// parsing the same files. Both sides read every file (from the page cache) in each
// iteration, the same way.
#include "base/HostConfig.h"
#include "BRNPlugIn.h"
#include "files/IBRNPrefs.h"
#include "logic/BRNPackageUtils.h"
#include "model/BRNField.h"
#include "model/BRNPackage.h"
#include "objectmodel/InterfacePtr.h"
#include "session/Host.h"
#include "ui/CAlert.h"

#include "MedianReporter.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

constexpr int kPackages = 256;
constexpr int kFieldsPerPackage = 100;

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

// One field of each type in turn, filled the way a production library would be.
BRNField MakeField(int pkg, int index) {
    const int32 type = index % kBRNTypeCount;
    const std::string n = std::to_string(index);
    BRNField f(Str(BRNField::TypeName(type).GetUTF8String() + " field " + n));
    f.SetType(type);
    f.SetShortName(Str("F" + n));
    f.SetDescription(
        Str("Filled in by the desk before the page goes to print; see the style guide, section " + n +
            " (package " + std::to_string(pkg) + ")."));
    f.SetRequired(index % 3 == 0);
    f.SetHidden(index % 17 == 0);
    f.SetReadOnly(index % 13 == 0);
    switch (type) {
    case kBRNTypeString:
        f.SetValue(Str("Nordlicht Verlag GmbH, Ausgabe " + n));
        break;
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
        f.SetHasDefault(kTrue);
        f.SetDefaultValue(Str("Draft"));
        break;
    case kBRNTypeChoiceString:
        f.SetOptions(
            StrList({"Berlin", "Hamburg", "M\xC3\xBCnchen", "K\xC3\xB6ln", "Frankfurt am Main", "Leipzig"}));
        f.SetValue(Str("M\xC3\xBCnchen"));
        break;
    case kBRNTypeDecimal:
        f.SetValue(Str(std::to_string(index) + ".75"));
        break;
    case kBRNTypeDate:
        f.SetValue(Str("2024-0" + std::to_string(1 + index % 9) + "-1" + std::to_string(index % 10)));
        break;
    case kBRNTypeDirectory:
        f.SetValue(Str("/Volumes/Produktion/2024/Magazin/Heft " + n + "/Bilder"));
        break;
    case kBRNTypeText:
        f.SetValue(
            Str("Erste Zeile des Vermerks " + n + ".\nZweite Zeile mit \"Zitat\" & <Klammern>.\nDritte."));
        f.SetVisibleLines(3 + index % 4);
        break;
    case kBRNTypeMultiChoice:
        f.SetOptions(StrList({"Print", "Web", "App", "Newsletter", "Social", "Archive", "Syndication"}));
        f.SetAllowUserValues(index % 2 == 0);
        f.SetHasDefault(kTrue);
        f.SetDefaultValues(StrList({"Print", "Web"}));
        f.SetSelectedValues(StrList({"Print", "App", "Social"}), Str(", "));
        f.SetVisibleLines(4);
        break;
    case kBRNTypeCalculatedString:
        f.SetValue(Str("NL-2024-" + n + "-<Ressort>-<Seite>"));
        f.SetAllowUserValues(kTrue);
        f.SetFieldOverridden(index % 2 == 0);
        break;
    case kBRNTypeDeadline:
        f.SetDeadline(BRNDeadline(Str("2024-05-1" + std::to_string(index % 10) + " 18:00"),
                                  Str(index % 2 ? "2024-05-14 17:42" : ""), Str(index % 2 ? "schmidt" : "")));
        break;
    default:
        break;
    }
    return f;
}

BRNPackage MakePackage(int pkg) {
    char name[32];
    std::snprintf(name, sizeof name, "Package %03d", pkg);
    BRNFieldList fields;
    for (int i = 0; i < kFieldsPerPackage; ++i)
        fields.push_back(MakeField(pkg, i));
    BRNPackage p(fields, Str(name), pkg % 4 == 0 ? Str("secret") : PMString(), 1000 + pkg);
    p.SetVersion(static_cast<uint32>(1 + pkg % 7));
    p.SetModified(kFalse);
    return p;
}

void ConfigureHost(const fs::path& home) {
    HostConfig& cfg = HostConfig::Get();
    cfg.home = home;
    cfg.pluginDir = home / "plugin";
    cfg.userName = "bench";
}

// The library on disk, made once per process; the folder is removed at exit.
class Library {
public:
    static Library& Get() {
        static Library lib;
        return lib;
    }
    ~Library() {
        std::error_code ec;
        fs::remove_all(fHome, ec);
    }
    const std::vector<IDFile>& Files() const { return fFiles; }
    size_t Bytes() const { return fBytes; }

private:
    Library() {
        std::string tmpl = (fs::temp_directory_path() / "brindle-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        fHome = tmpl;
        try {
            Fill();
        } catch (...) {
            Host::Stop();
            std::error_code ec;
            fs::remove_all(fHome, ec);
            throw;
        }
    }

    void Fill() {
        ConfigureHost(fHome);
        CAlert::SetSink(std::make_shared<RecordingAlertSink>());
        // The first start finds no settings file and writes one; storing the library
        // through the settings object writes it and the package files as the plug-in
        // would. Every later start only reads.
        if (!Host::Start(GetPlugIn())) throw std::runtime_error("host did not start");
        {
            InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
            if (!prefs) throw std::runtime_error("no settings object");
            BRNPackageList packages;
            for (int i = 0; i < kPackages; ++i)
                packages.push_back(MakePackage(i));
            prefs->SetPackages(packages);
            if (!prefs->GetLastSaveSucceeded()) throw std::runtime_error("library not saved");
        }
        Host::Stop();
        const fs::path base = HostConfig::Get().RoamingDataRoot() / "corvane";
        if (!fs::exists(base / "BrindleSettings.xml")) throw std::runtime_error("settings file missing");
        const fs::path folder = base / "BrindlePackages";
        for (const auto& e : fs::directory_iterator(folder)) {
            fFiles.emplace_back(e.path());
            fBytes += static_cast<size_t>(e.file_size());
        }
        if (fFiles.size() != kPackages) throw std::runtime_error("unexpected number of package files");
    }

    fs::path fHome;
    std::vector<IDFile> fFiles;
    size_t fBytes = 0;
};

void SetLibraryCounters(benchmark::State& state) {
    const Library& lib = Library::Get();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(lib.Bytes()));
    state.counters["files"] = static_cast<double>(lib.Files().size());
}

// What the plug-in does at start: the session's settings object reads the settings file
// and every package file.
void BM_HostStartWithLibrary(benchmark::State& state) {
    Library::Get();
    for (auto _ : state) {
        if (!Host::Start(GetPlugIn())) {
            state.SkipWithError("host did not start");
            break;
        }
        InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
        if (!prefs || prefs->GetPackages().size() != kPackages) {
            prefs.reset();
            Host::Stop();
            state.SkipWithError("library not loaded in full");
            break;
        }
        prefs.reset();
        Host::Stop();
    }
    SetLibraryCounters(state);
}
BENCHMARK(BM_HostStartWithLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the per-file work of the library load.
void BM_LoadPackageFiles(benchmark::State& state) {
    const Library& lib = Library::Get();
    for (auto _ : state) {
        for (const IDFile& file : lib.Files()) {
            BRNPackage package;
            if (BRNPackageUtils::LoadPackageFile(file, package) != 0 ||
                package.GetFields().size() != kFieldsPerPackage) {
                state.SkipWithError("package file did not load");
                return;
            }
            benchmark::DoNotOptimize(package);
        }
    }
    SetLibraryCounters(state);
}
BENCHMARK(BM_LoadPackageFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

struct ParseCounts {
    long elements = 0;
    long textBytes = 0;
};

void XMLCALL CountStart(void* data, const XML_Char*, const XML_Char**) {
    ++static_cast<ParseCounts*>(data)->elements;
}
void XMLCALL CountEnd(void*, const XML_Char*) {}
void XMLCALL CountText(void* data, const XML_Char*, int len) {
    static_cast<ParseCounts*>(data)->textBytes += len;
}

// The same reading of the whole file that the plug-in's file streams do.
bool ReadWholeFile(const fs::path& p, std::string& bytes) {
    bytes.clear();
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// The floor: expat alone, with handlers that only count.
void BM_ExpatOnly(benchmark::State& state) {
    const Library& lib = Library::Get();
    ParseCounts counts;
    for (auto _ : state) {
        for (const IDFile& file : lib.Files()) {
            std::string bytes;
            if (!ReadWholeFile(file.Path(), bytes)) {
                state.SkipWithError("cannot read package file");
                return;
            }
            XML_Parser parser = XML_ParserCreate(nullptr);
            XML_SetUserData(parser, &counts);
            XML_SetElementHandler(parser, &CountStart, &CountEnd);
            XML_SetCharacterDataHandler(parser, &CountText);
            bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_ERROR;
            XML_ParserFree(parser);
            if (!ok) {
                state.SkipWithError("expat rejected a package file");
                return;
            }
        }
    }
    benchmark::DoNotOptimize(counts);
    SetLibraryCounters(state);
}
BENCHMARK(BM_ExpatOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Expat fed the way the plug-in's DOM builder feeds it: 2 KiB at a time through its own
// buffer. Not the floor; it shows what the feeding alone costs.
void BM_ExpatOnlyIn2KChunks(benchmark::State& state) {
    const Library& lib = Library::Get();
    constexpr int kChunk = 2048;
    ParseCounts counts;
    for (auto _ : state) {
        for (const IDFile& file : lib.Files()) {
            std::string bytes;
            if (!ReadWholeFile(file.Path(), bytes)) {
                state.SkipWithError("cannot read package file");
                return;
            }
            XML_Parser parser = XML_ParserCreate(nullptr);
            XML_SetUserData(parser, &counts);
            XML_SetElementHandler(parser, &CountStart, &CountEnd);
            XML_SetCharacterDataHandler(parser, &CountText);
            bool ok = true;
            for (size_t at = 0; ok;) {
                const size_t n = std::min(bytes.size() - at, static_cast<size_t>(kChunk));
                void* buf = XML_GetBuffer(parser, kChunk);
                if (!buf) {
                    ok = false;
                    break;
                }
                std::memcpy(buf, bytes.data() + at, n);
                at += n;
                ok = XML_ParseBuffer(parser, static_cast<int>(n), n == 0) != XML_STATUS_ERROR;
                if (n == 0) break;
            }
            XML_ParserFree(parser);
            if (!ok) {
                state.SkipWithError("expat rejected a package file");
                return;
            }
        }
    }
    benchmark::DoNotOptimize(counts);
    SetLibraryCounters(state);
}
BENCHMARK(BM_ExpatOnlyIn2KChunks)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the summary of this program's figures after the console table.
class RatioReporter : public MedianReporter {
public:
    void PrintRatios() const {
        const char* const kBase = "BM_ExpatOnly";
        const double wallBase = Wall(kBase), cpuBase = Cpu(kBase);
        if (wallBase <= 0 || cpuBase <= 0) return;
        std::printf("\nmedian per load of the library      wall ms   CPU ms   wall ratio   CPU ratio\n");
        for (const char* name :
             {"BM_ExpatOnly", "BM_ExpatOnlyIn2KChunks", "BM_LoadPackageFiles", "BM_HostStartWithLibrary"}) {
            const double wall = Wall(name), cpu = Cpu(name);
            if (wall <= 0) continue;
            std::printf("%-34s %8.1f %8.1f %12.2f %11.2f\n", name, 1e3 * wall, 1e3 * cpu, wall / wallBase,
                        cpu / cpuBase);
        }
        std::printf("goal: the library load at most 1.50 times %s\n", kBase);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    try {
        const Library& lib = Library::Get();
        std::printf("library: %zu package files, %d fields each, %zu bytes in all\n", lib.Files().size(),
                    kFieldsPerPackage, lib.Bytes());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot set up the library: %s\n", e.what());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
