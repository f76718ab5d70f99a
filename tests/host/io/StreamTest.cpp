#include "io/StreamUtil.h"
#include "objectmodel/InterfacePtr.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

int32 Put(IPMStream* s, const std::string& bytes) {
    std::string copy = bytes;
    return s->XferByte(reinterpret_cast<uchar*>(copy.data()), static_cast<int32>(copy.size()));
}

std::string Take(IPMStream* s, int32 n, int32* got = nullptr) {
    std::string buf(static_cast<size_t>(n), '\0');
    int32 r = s->XferByte(reinterpret_cast<uchar*>(buf.data()), n);
    if (got) *got = r;
    buf.resize(r > 0 ? static_cast<size_t>(r) : 0);
    return buf;
}

struct IntCase {
    bool swap;
    int16 v16;
    std::string bytes16;
    int32 v32;
    std::string bytes32;
};

TEST(StreamTest, IntegersInBothByteOrders) {
    const std::vector<IntCase> cases = {
        {false, 0x1234, "\x34\x12", 0x12345678, "\x78\x56\x34\x12"},
        {true, 0x1234, "\x12\x34", 0x12345678, "\x12\x34\x56\x78"},
        {false, -2, "\xFE\xFF", -2, "\xFE\xFF\xFF\xFF"},
        {true, -2, "\xFF\xFE", -2, "\xFF\xFF\xFF\xFE"},
        {true, static_cast<int16>(0x8001), "\x80\x01", static_cast<int32>(0x80000001),
         std::string("\x80\x00\x00\x01", 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.swap ? "swapped " : "plain ") + std::to_string(c.v32));
        InterfacePtr<IPMStream> out(StreamUtil::CreateMemoryStreamWrite());
        ASSERT_TRUE(out);
        out->SetSwapping(c.swap ? kTrue : kFalse);
        EXPECT_EQ(out->GetSwapping(), c.swap ? kTrue : kFalse);
        int16 a = c.v16;
        int32 b = c.v32;
        EXPECT_EQ(out->XferInt16(a), 2);
        EXPECT_EQ(out->XferInt32(b), 4);
        EXPECT_EQ(a, c.v16) << "writing leaves the value alone";
        const std::string bytes = StreamUtil::GetMemoryStreamBytes(out);
        EXPECT_EQ(bytes, c.bytes16 + c.bytes32);

        InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead(bytes));
        in->SetSwapping(c.swap ? kTrue : kFalse);
        int16 r16 = 0;
        int32 r32 = 0;
        EXPECT_EQ(in->XferInt16(r16), 2);
        EXPECT_EQ(in->XferInt32(r32), 4);
        EXPECT_EQ(r16, c.v16);
        EXPECT_EQ(r32, c.v32);
    }
}

TEST(StreamTest, ReadingWithTheOtherByteOrderSwapsTheValue) {
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead("\x12\x34\x12\x34\x56\x78"));
    in->SetSwapping(kTrue);
    int16 v16 = 0;
    int32 v32 = 0;
    in->XferInt16(v16);
    in->XferInt32(v32);
    EXPECT_EQ(v16, 0x1234);
    EXPECT_EQ(v32, 0x12345678);
}

TEST(StreamTest, ShortReadOfAnIntegerLeavesItAlone) {
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead("\x01\x02\x03"));
    int32 v = 77;
    EXPECT_EQ(in->XferInt32(v), 3);
    EXPECT_EQ(v, 77);
    int16 w = 5;
    EXPECT_EQ(in->XferInt16(w), 0);
    EXPECT_EQ(w, 5);
}

TEST(StreamTest, MemoryReadSeekAndEnd) {
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead("abcdef"));
    EXPECT_EQ(in->IsReading(), kTrue);
    EXPECT_EQ(in->IsWriting(), kFalse);
    EXPECT_EQ(Take(in, 2), "ab");
    EXPECT_EQ(in->GetPosition(), 2);

    struct SeekCase {
        int64 offset;
        IPMStream::SeekFrom from;
        int64 result; // -1: refused, position unchanged
        const char* next2;
    };
    const std::vector<SeekCase> cases = {
        {3, IPMStream::kSeekFromStart, 3, "de"}, {-4, IPMStream::kSeekFromCurrent, 1, "bc"},
        {-1, IPMStream::kSeekFromEnd, 5, "f"},   {0, IPMStream::kSeekFromEnd, 6, ""},
        {7, IPMStream::kSeekFromStart, -1, ""},  {-1, IPMStream::kSeekFromStart, -1, ""},
        {0, IPMStream::kSeekFromStart, 0, "ab"}, {1, IPMStream::kSeekFromEnd, -1, "cd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + " from " + std::to_string(c.from));
        const int64 before = in->GetPosition();
        EXPECT_EQ(in->Seek(c.offset, c.from), c.result);
        EXPECT_EQ(in->GetPosition(), c.result < 0 ? before : c.result);
        EXPECT_EQ(Take(in, 2), c.next2);
    }
}

TEST(StreamTest, ReadAtEndReturnsZero) {
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead("xyz"));
    int32 got = -5;
    EXPECT_EQ(Take(in, 10, &got), "xyz");
    EXPECT_EQ(got, 3);
    EXPECT_EQ(in->GetStreamState(), IPMStream::kStreamStateEOF);
    Take(in, 10, &got);
    EXPECT_EQ(got, 0);
    Take(in, 1, &got);
    EXPECT_EQ(got, 0);
    // A seek makes the stream usable again.
    EXPECT_EQ(in->Seek(1, IPMStream::kSeekFromStart), 1);
    EXPECT_EQ(in->GetStreamState(), IPMStream::kStreamStateGood);
    EXPECT_EQ(Take(in, 5), "yz");

    InterfacePtr<IPMStream> empty(StreamUtil::CreateMemoryStreamRead(""));
    Take(empty, 4, &got);
    EXPECT_EQ(got, 0);
}

TEST(StreamTest, MemoryWriteOverwritesAfterSeek) {
    InterfacePtr<IPMStream> out(StreamUtil::CreateMemoryStreamWrite());
    EXPECT_EQ(out->IsWriting(), kTrue);
    EXPECT_EQ(Put(out, "abcdef"), 6);
    EXPECT_EQ(out->Seek(2, IPMStream::kSeekFromStart), 2);
    EXPECT_EQ(Put(out, "XY"), 2);
    EXPECT_EQ(out->GetPosition(), 4);
    EXPECT_EQ(out->Seek(-1, IPMStream::kSeekFromEnd), 5);
    EXPECT_EQ(Put(out, "ZZZ"), 3); // runs past the end: grows
    EXPECT_EQ(StreamUtil::GetMemoryStreamBytes(out), "abXYeZZZ");
    EXPECT_EQ(out->Seek(1, IPMStream::kSeekFromEnd), -1);
    EXPECT_EQ(out->Close(), kTrue);
    EXPECT_EQ(Put(out, "late"), -1) << "a closed stream takes no bytes";
    EXPECT_EQ(StreamUtil::GetMemoryStreamBytes(out), "abXYeZZZ");
}

TEST(StreamTest, MemoryBytesOnlyForMemoryWriteStreams) {
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead("abc"));
    EXPECT_EQ(StreamUtil::GetMemoryStreamBytes(in), "");
    EXPECT_EQ(StreamUtil::GetMemoryStreamBytes(nullptr), "");
}

TEST(StreamTest, StreamAnswersOnlyItsOwnInterfaces) {
    InterfacePtr<IPMStream> s(StreamUtil::CreateMemoryStreamWrite());
    InterfacePtr<IPMStream> again(s, UseDefaultIID());
    EXPECT_EQ(again.get(), s.get());
    InterfacePtr<IPMUnknown> unknown(s, IID_IUNKNOWN);
    EXPECT_TRUE(unknown);
    InterfacePtr<IPMUnknown> other(s, IID_IXMLOUTSTREAM);
    EXPECT_FALSE(other);
    EXPECT_EQ(s->GetClassOfObject(), kInvalidClass);
}

class FileStreamTest : public ::testing::Test {
protected:
    TempDir fTmp;
};

TEST_F(FileStreamTest, ReadFileStream) {
    WriteFile(fTmp / "in.bin", std::string("\x01\x00\x02rest", 7));
    InterfacePtr<IPMStream> in(StreamUtil::CreateFileStreamRead(IDFile(fTmp / "in.bin")));
    ASSERT_TRUE(in);
    int16 v = 0;
    EXPECT_EQ(in->XferInt16(v), 2);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(Take(in, 100), std::string("\x02rest", 5));
    int32 got = -1;
    Take(in, 1, &got);
    EXPECT_EQ(got, 0);

    EXPECT_EQ(StreamUtil::CreateFileStreamRead(IDFile(fTmp / "missing")), nullptr);
    EXPECT_EQ(StreamUtil::CreateFileStreamRead(IDFile(fTmp.path())), nullptr) << "a folder is no file";
}

TEST_F(FileStreamTest, WriteStreamReplacesTheFileOnlyOnClose) {
    const fs::path target = fTmp / "out.xml";
    WriteFile(target, "old content that is longer");
    InterfacePtr<IPMStream> out(StreamUtil::CreateFileStreamWrite(IDFile(target)));
    ASSERT_TRUE(out);
    EXPECT_EQ(Put(out, "new"), 3);
    out->Flush();
    EXPECT_EQ(ReadFile(target), "old content that is longer") << "nothing is stored before Close";
    EXPECT_EQ(out->Close(), kTrue);
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(out->Close(), kTrue) << "closing twice reports the same";
    EXPECT_EQ(out->GetStreamState(), IPMStream::kStreamStateGood);
}

TEST_F(FileStreamTest, WriteStreamCreatesMissingFile) {
    const fs::path target = fTmp / "fresh.txt";
    {
        InterfacePtr<IPMStream> out(StreamUtil::CreateFileStreamWrite(
            IDFile(target), kOpenOut | kOpenTrunc, MakeTypeCode("TEXT"), MakeTypeCode("R*ch")));
        ASSERT_TRUE(out);
        int32 n = 0x01020304;
        out->XferInt32(n);
        EXPECT_FALSE(fs::exists(target));
        // Let go without Close: the last reference stores the bytes.
    }
    EXPECT_EQ(ReadFile(target), "\x04\x03\x02\x01");
}

TEST_F(FileStreamTest, WriteStreamRefusesWhatCannotBeWritten) {
    EXPECT_EQ(StreamUtil::CreateFileStreamWrite(IDFile(fTmp / "no" / "such" / "f.xml")), nullptr);
    EXPECT_EQ(StreamUtil::CreateFileStreamWrite(IDFile(fTmp.path())), nullptr);
    EXPECT_EQ(StreamUtil::CreateFileStreamWrite(IDFile()), nullptr);
}

TEST_F(FileStreamTest, CloseReportsFailureWhenFolderVanished) {
    const fs::path folder = fTmp / "gone";
    fs::create_directory(folder);
    InterfacePtr<IPMStream> out(StreamUtil::CreateFileStreamWrite(IDFile(folder / "f.xml")));
    ASSERT_TRUE(out);
    Put(out, "bytes");
    fs::remove_all(folder);
    EXPECT_EQ(out->Close(), kFalse);
    EXPECT_EQ(out->GetStreamState(), IPMStream::kStreamStateFailure);
    EXPECT_EQ(out->Close(), kFalse);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(FileStreamTest, AppendStreamAppends) {
    struct Case {
        const char* name;
        bool existing;
        bool viaMode; // CreateFileStreamWrite with kOpenOut | kOpenApp
    };
    const std::vector<Case> cases = {
        {"existing, append call", true, false},
        {"existing, mode 6", true, true},
        {"missing, append call", false, false},
        {"missing, mode 6", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = fTmp / "log.txt";
        fs::remove(target);
        if (c.existing) WriteFile(target, "line 1\n");
        ASSERT_EQ(kOpenOut | kOpenApp, 6);
        InterfacePtr<IPMStream> out(
            c.viaMode ? StreamUtil::CreateFileStreamWrite(IDFile(target), kOpenOut | kOpenApp)
                      : StreamUtil::CreateFileStreamWriteAppend(IDFile(target)));
        ASSERT_TRUE(out);
        EXPECT_EQ(Put(out, "line 2\n"), 7);
        EXPECT_EQ(out->Seek(0, IPMStream::kSeekFromStart), -1) << "an append stream does not seek";
        EXPECT_EQ(Put(out, "line 3\n"), 7);
        EXPECT_EQ(out->Close(), kTrue);
        EXPECT_EQ(Put(out, "late"), -1);
        EXPECT_EQ(ReadFile(target), std::string(c.existing ? "line 1\n" : "") + "line 2\nline 3\n");
    }
}

TEST_F(FileStreamTest, AppendStreamIntoMissingFolderIsRefused) {
    EXPECT_EQ(StreamUtil::CreateFileStreamWriteAppend(IDFile(fTmp / "nope" / "log.txt")), nullptr);
}

TEST(StreamTypeCodeTest, FourCharacterCodes) {
    EXPECT_EQ(MakeTypeCode("TEXT"), 0x54455854u);
    EXPECT_EQ(MakeTypeCode("R*ch"), 0x522A6368u);
}

} // namespace
