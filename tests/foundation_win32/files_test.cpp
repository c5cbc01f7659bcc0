#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundation/string_list.h"
#include "foundation/trace.h"
#include "foundation/win32/file.h"
#include "foundation/win32/folders.h"
#include "foundation/win32/unbuffered_file.h"
#include "scratch.h"

namespace {

void Touch(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(h);
}

std::vector<std::string> Names(const StringList& l) {
    std::vector<std::string> v;
    for (uint32_t i = 0; i < l.GetCount(); ++i) v.emplace_back(l.GetItem(i)->CStr());
    return v;
}

TEST(Folders, CreateListAndDeleteATree) {
    ScratchFolder dir("apco_folders");
    String deep((dir / "a\\b\\c").c_str());
    EXPECT_TRUE(CreateDirectoryPath(deep));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(CreateDirectoryPath(String((dir / "a\\b\\d\\").c_str())));  // trailing separator
    EXPECT_TRUE(DirectoryExists(String((dir / "a\\b\\d").c_str())));
    EXPECT_FALSE(DirectoryExists(String((dir / "a\\").c_str())));  // not found with the separator

    Touch(dir / "a\\one.wav", "1");
    Touch(dir / "a\\two.wav", "22");
    Touch(dir / "a\\note.txt", "333");
    Touch(dir / "a\\b\\c\\deep.wav", "4444");
    EXPECT_FALSE(DirectoryExists(String((dir / "a\\one.wav").c_str())));
    EXPECT_TRUE(FileExists(String((dir / "a\\one.wav").c_str())));
    EXPECT_FALSE(FileExists(String((dir / "a\\b").c_str())));
    EXPECT_EQ(GetFileSizeByName(String((dir / "a\\note.txt").c_str())), 3u);

    StringList wavs;
    ListFiles(String((dir / "a").c_str()), &wavs, String("*.wav"));
    wavs.Sort();
    EXPECT_EQ(Names(wavs), (std::vector<std::string>{"one.wav", "two.wav"}));

    StringList folders, files;
    ListFilesRecursive(String((dir / "a").c_str()), &folders, &files, kListRecursive);
    EXPECT_EQ(Names(folders), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(Names(files), (std::vector<std::string>{"deep.wav", "note.txt", "one.wav", "two.wav"}));

    EXPECT_TRUE(DeleteDirectoryTree(String((dir / "a").c_str())));
    EXPECT_FALSE(DirectoryExists(String((dir / "a").c_str())));
    EXPECT_FALSE(FileExists(String((dir / "a\\one.wav").c_str())));
}

std::string g_traceLine;
void CaptureTrace(const char* line) { g_traceLine = line; }

TEST(File, ReadOnlyOpenNeverCreatesAndSeekToZeroSucceeds) {
    ScratchFolder dir("apco_file");
    SetTraceSink(CaptureTrace);
    {
        File missing(String((dir / "none.bin").c_str()), GENERIC_READ, 0, OPEN_ALWAYS, 0);
        EXPECT_EQ(missing.GetHandle(), nullptr);
    }
    SetTraceSink(nullptr);
    EXPECT_EQ(g_traceLine, "File not opened, err=2");
    EXPECT_FALSE(FileExists(String((dir / "none.bin").c_str())));

    File f(String((dir / "f.bin").c_str()), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    ASSERT_NE(f.GetHandle(), nullptr);
    EXPECT_EQ(f.Write("0123456789", 10), 10u);
    EXPECT_EQ(f.GetSize(), 10);
    EXPECT_EQ(f.GetPosition(), 10);
    EXPECT_TRUE(f.Seek(0));
    char buffer[4] = {};
    EXPECT_EQ(f.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_TRUE(f.Seek(0x100000000ll + 5));  // 64-bit positions
    EXPECT_EQ(f.GetPosition(), 0x100000000ll + 5);
}

std::vector<uint8_t> PseudoRandom(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng() >> 7);
    return v;
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::vector<uint8_t> v;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return v;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    v.resize(static_cast<size_t>(size.QuadPart));
    DWORD n = 0;
    if (!v.empty()) ReadFile(h, v.data(), static_cast<DWORD>(v.size()), &n, nullptr);
    v.resize(n);
    CloseHandle(h);
    return v;
}

// 10 MB through the unbuffered file in block sizes that never line up with a sector.
TEST(UnbufferedFile, WritesAndReadsBackTenMegabytesInOddBlocks) {
    ScratchFolder dir("apco_unbuffered");
    std::string path = dir / "data.bin";
    std::vector<uint8_t> data = PseudoRandom(10 * 1000 * 1000 + 17, 21);
    static const uint32_t kBlocks[] = {1, 511, 513, 4097, 65521, 100003};
    {
        UnbufferedFile out(String(path.c_str()), false, true, 128 * 1024);
        ASSERT_NE(out.GetHandle(), nullptr);
        ASSERT_GT(out.GetSectorSize(), 0u);
        size_t at = 0;
        for (int i = 0; at < data.size(); ++i) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlocks[i % 6], data.size() - at));
            ASSERT_EQ(out.Write(data.data() + at, n), n);
            at += n;
        }
        EXPECT_EQ(out.GetSize(), static_cast<int64_t>(data.size()));
    }  // the tail goes out here
    EXPECT_EQ(ReadWhole(path), data);

    UnbufferedFile in(String(path.c_str()), true, false, 128 * 1024);
    ASSERT_NE(in.GetHandle(), nullptr);
    EXPECT_EQ(in.GetSize(), static_cast<int64_t>(data.size()));
    std::vector<uint8_t> back(data.size() + 100);
    size_t got = 0;
    for (int i = 0;; ++i) {
        uint32_t n = in.Read(back.data() + got, kBlocks[(i + 3) % 6]);
        if (n == 0) break;
        got += n;
    }
    back.resize(got);
    EXPECT_EQ(back, data);
    ASSERT_TRUE(in.Seek(4093));
    uint8_t piece[3000];
    ASSERT_EQ(in.Read(piece, 3000), 3000u);
    EXPECT_EQ(std::memcmp(piece, data.data() + 4093, 3000), 0);
    ASSERT_TRUE(in.Seek(static_cast<int64_t>(data.size()) - 5));
    EXPECT_EQ(in.Read(piece, 3000), 5u);  // inside the tail
    EXPECT_EQ(std::memcmp(piece, data.data() + data.size() - 5, 5), 0);
}

TEST(UnbufferedFile, AppendingToAnExistingFileKeepsItsTail) {
    ScratchFolder dir("apco_append");
    std::string path = dir / "log.bin";
    Touch(path, "head-");
    {
        UnbufferedFile f(String(path.c_str()), false, false, 8192);
        ASSERT_NE(f.GetHandle(), nullptr);
        EXPECT_EQ(f.GetSize(), 5);
        std::vector<uint8_t> more(1000, 'x');
        ASSERT_EQ(f.Write(more.data(), 1000), 1000u);
        // A block larger than the buffer, also one whose size wraps round with the tail's,
        // is refused whole.
        EXPECT_EQ(f.WriteBlock(f.GetBlockSize() + 2 * f.GetSectorSize() + 1, more.data()), 0);
        EXPECT_EQ(f.WriteBlock(0xFFFFFFFFu, more.data()), 0);
        EXPECT_FALSE(f.IsPending());
        EXPECT_EQ(f.GetSize(), 1005);
    }
    std::vector<uint8_t> whole = ReadWhole(path);
    ASSERT_EQ(whole.size(), 1005u);
    EXPECT_EQ(std::string(whole.begin(), whole.begin() + 5), "head-");
    EXPECT_EQ(whole[1004], 'x');
}

TEST(UnbufferedFile, PlainCompressingAndDecompressingCopiesRoundTrip) {
    ScratchFolder dir("apco_copies");
    std::vector<uint8_t> data = PseudoRandom(700001, 8);
    for (size_t i = 0; i < data.size(); i += 3) data[i] = 0;  // something to compress
    std::string source = dir / "src.bin";
    {
        UnbufferedFile f(String(source.c_str()), false, true, 65536);
        ASSERT_EQ(f.Write(data.data(), static_cast<uint32_t>(data.size())), data.size());
    }
    {
        UnbufferedFile in(String(source.c_str()), true, false, 65536);
        UnbufferedFile out(String((dir / "copy.bin").c_str()), false, true, 32768);
        ASSERT_TRUE(in.Seek(1));
        EXPECT_EQ(CopyFileData(&in, &out, ~0ull), 1);
    }
    std::vector<uint8_t> copy = ReadWhole(dir / "copy.bin");
    EXPECT_EQ(copy, std::vector<uint8_t>(data.begin() + 1, data.end()));
    {
        UnbufferedFile in(String(source.c_str()), true, false, 65536);
        UnbufferedFile out(String((dir / "packed.z").c_str()), false, true, 65536);
        EXPECT_EQ(CompressFile(&in, &out), 1);
    }
    EXPECT_LT(ReadWhole(dir / "packed.z").size(), data.size());
    {
        UnbufferedFile in(String((dir / "packed.z").c_str()), true, false, 65536);
        UnbufferedFile out(String((dir / "unpacked.bin").c_str()), false, true, 4096);
        EXPECT_EQ(DecompressFile(&in, &out), 1);
    }
    EXPECT_EQ(ReadWhole(dir / "unpacked.bin"), data);

    // A compressed file cut short does not decompress as a success.
    std::vector<uint8_t> packed = ReadWhole(dir / "packed.z");
    Touch(dir / "cut.z", std::string(packed.begin(), packed.end() - 20));
    UnbufferedFile in(String((dir / "cut.z").c_str()), true, false, 65536);
    UnbufferedFile out(String((dir / "cut.bin").c_str()), false, true, 65536);
    EXPECT_EQ(DecompressFile(&in, &out), 0);
}

}  // namespace

namespace {

TEST(Folders, PathNamesCurrentFolderAndFileVersions) {
    ScratchFolder dir("apco_paths_with_long_name");
    Touch(dir / "a rather long file name.txt", "x");
    String path((dir / "a rather long file name.txt").c_str());
    String shortPath = path.GetShortPath();
    ASSERT_GT(shortPath.Length(), 0);
    EXPECT_STREQ(shortPath.GetLongPath().CStr(), path.GetLongPath().CStr());
    EXPECT_EQ(String((dir / "missing.txt").c_str()).GetLongPath().Length(), 0);
    EXPECT_TRUE(DirectoryExists(GetCurrentDirectoryString()));

    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    String kernel = String(system) + "\\kernel32.dll";
    uint64_t version = GetFileVersion(kernel);
    EXPECT_NE(version, 0u);
    String text = GetFileVersionString(kernel);
    EXPECT_EQ(text.FindChar('.'), static_cast<int>(std::to_string(version >> 48).size()));
    EXPECT_EQ(GetFileVersion(String((dir / "a rather long file name.txt").c_str())), 0u);
}

}  // namespace
