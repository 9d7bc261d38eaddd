#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file/file_stream.h"
#include "engine/file/stream.h"
#include "engine/system/memory.h"

namespace {

// A file of `size` bytes holding 0, 1, 2, ... (mod 256), made in the working directory.
std::string MakeFile(const char* name, int size) {
    std::vector<unsigned char> bytes(size);
    for (int i = 0; i < size; i++) bytes[i] = (unsigned char)i;
    HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    if (size) WriteFile(f, bytes.data(), size, &written, nullptr);
    CloseHandle(f);
    return name;
}

TEST(FileStream, MissingFileGivesZero) {
    EXPECT_EQ(FileStreamOpen("no_such_file.bin", 0, 1, 0), 0u);
    EXPECT_EQ(FileFunctions.Open("no_dir\\x.bin", 0, 1, 0), 0u);
    EXPECT_EQ(FileStreamClose(0), -1);
    EXPECT_EQ(FileStreamTell(0xF0000000u + 600), -1);
}

TEST(FileStream, ReadsWholeElementsAndSeeksFromEachOrigin) {
    MakeFile("ten.bin", 10);
    ArchiveFileHandle h = FileStreamOpen("ten.bin", 0, 1, 0);
    ASSERT_NE(h, 0u);
    EXPECT_GE(h, 0xF0000000u);
    EXPECT_LT(h, 0xF0000000u + FILE_STREAM_MAX_OPEN);
    unsigned char buf[16] = {};
    // Three 4-byte elements asked for, two whole ones present.
    EXPECT_EQ(FileStreamRead(buf, 4, 3, h), 2u);
    EXPECT_EQ(buf[7], 7);
    EXPECT_EQ(FileStreamEof(h), 1);
    EXPECT_EQ(FileStreamSeek(h, 3, 0), 0);
    EXPECT_EQ(FileStreamTell(h), 3);
    EXPECT_EQ(FileStreamEof(h), 0);
    EXPECT_EQ(FileStreamSeek(h, 2, 1), 0);
    EXPECT_EQ(FileStreamTell(h), 5);
    EXPECT_EQ(FileStreamSeek(h, -4, 2), 0);
    EXPECT_EQ(FileStreamTell(h), 6);
    EXPECT_EQ(FileStreamRead(buf, 1, 2, h), 2u);
    EXPECT_EQ(buf[0], 6);
    EXPECT_EQ(buf[1], 7);
    EXPECT_EQ(FileStreamSeek(h, -1, 0), -1);
    EXPECT_EQ(FileStreamSeek(h, 0, 3), -1);
    EXPECT_EQ(FileStreamIdleCheck(h), 1);
    EXPECT_EQ(FileStreamClose(h), 0);
    EXPECT_EQ(FileStreamClose(h), -1);
    EXPECT_EQ(FileStreamRead(buf, 1, 1, h), 0u);
}

TEST(FileStream, AtMost512OpenAtOnce) {
    MakeFile("many.bin", 4);
    int before = FileStreamOpenCount();
    std::vector<ArchiveFileHandle> open;
    for (int i = 0; i < FILE_STREAM_MAX_OPEN + 5; i++) {
        ArchiveFileHandle h = FileStreamOpen("many.bin", 0, 1, 0);
        if (!h) break;
        open.push_back(h);
    }
    EXPECT_EQ((int)open.size() + before, FILE_STREAM_MAX_OPEN);
    EXPECT_EQ(FileStreamOpen("many.bin", 0, 1, 0), 0u);
    ASSERT_EQ(FileStreamClose(open.back()), 0);
    open.pop_back();
    ArchiveFileHandle again = FileStreamOpen("many.bin", 0, 1, 0);
    EXPECT_NE(again, 0u);
    open.push_back(again);
    for (ArchiveFileHandle h : open) FileStreamClose(h);
    EXPECT_EQ(FileStreamOpenCount(), before);
}

TEST(FileStream, TableSlotsInTheirFixedOrder) {
    MakeFile("slots.bin", 8);
    // The Theora decoder addresses seek, read and end-of-file by position.
    void** slots = (void**)&FileFunctions;
    EXPECT_EQ(slots[0], (void*)&FileStreamOpen);
    EXPECT_EQ(slots[3], (void*)&FileStreamSeek);
    EXPECT_EQ(slots[4], (void*)&FileStreamRead);
    EXPECT_EQ(slots[5], (void*)&FileStreamEof);
    EXPECT_EQ(sizeof(FileFunctionTable), 12 * sizeof(void*));
}

TEST(FileStream, LoadFileToMemory) {
    MakeFile("whole.bin", 1000);
    int blocks = MemLiveBlockCount();
    void* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(LoadFileToMemory("whole.bin", &data, &size), 0);
    EXPECT_EQ(size, 1000u);
    EXPECT_EQ(((unsigned char*)data)[999], (unsigned char)999);
    MemFree(data);
    EXPECT_EQ(LoadFileToMemory("absent.bin", &data, &size), -1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
    EXPECT_EQ(FileStreamOpenCount(), 0);
}

// The same checks through both stream tables.
void CheckStream(const StreamData& sd, int size) {
    const StreamFunctions& f = sd.funcs;
    uint16_t words[8];
    EXPECT_EQ(f.Read(words, 2, 8, sd.handle), (size_t)size / 2);
    EXPECT_EQ(words[0], 0x0100);
    EXPECT_NE(f.Eof(sd.handle), 0);
    EXPECT_EQ(f.Tell(sd.handle), size);  // the odd last byte is consumed too
    EXPECT_EQ(f.Seek(sd.handle, 1, 0), 0);
    EXPECT_EQ(f.Eof(sd.handle), 0);
    EXPECT_EQ(f.Seek(sd.handle, 2, 1), 0);
    EXPECT_EQ(f.Tell(sd.handle), 3);
    EXPECT_EQ(f.Seek(sd.handle, -2, 2), 0);
    EXPECT_EQ(f.Tell(sd.handle), size - 2);
    unsigned char b = 0;
    EXPECT_EQ(f.Read(&b, 1, 1, sd.handle), 1u);
    EXPECT_EQ(b, size - 2);
    EXPECT_EQ(f.IsIdle(sd.handle), 1);
    EXPECT_EQ(f.Close(sd.handle), 0);
}

TEST(Stream, FileAndMemoryBehaveAlike) {
    const int size = 9;
    MakeFile("nine.bin", size);
    StreamData sd;
    ASSERT_EQ(StreamOpenFile(&sd, "nine.bin"), 0);
    EXPECT_EQ(std::memcmp(&sd.funcs, GetFileStreamTable(), sizeof(StreamFunctions)), 0);
    CheckStream(sd, size);
    EXPECT_EQ(FileStreamOpenCount(), 0);
    EXPECT_EQ(StreamOpenFile(&sd, "missing.bin"), -1);

    unsigned char mem[size];
    for (int i = 0; i < size; i++) mem[i] = (unsigned char)i;
    int blocks = MemLiveBlockCount();
    ASSERT_EQ(StreamOpenMemory(&sd, mem, size), 0);
    EXPECT_EQ(std::memcmp(&sd.funcs, GetMemStreamTable(), sizeof(StreamFunctions)), 0);
    CheckStream(sd, size);
    EXPECT_EQ(MemLiveBlockCount(), blocks);
    EXPECT_EQ(mem[0], 0);  // the block stays the caller's and untouched
}

TEST(Stream, MemorySeekOutsideTheBlockFails) {
    unsigned char mem[4] = {1, 2, 3, 4};
    uintptr_t h = MemStreamOpen(mem, 4);
    ASSERT_NE(h, 0u);
    const StreamFunctions* f = GetMemStreamTable();
    EXPECT_EQ(f->Seek(h, 5, 0), -1);
    EXPECT_EQ(f->Seek(h, -1, 0), -1);
    EXPECT_EQ(f->Tell(h), 0);
    EXPECT_EQ(f->Seek(h, 0, 2), 0);
    unsigned char b;
    EXPECT_EQ(f->Read(&b, 1, 1, h), 0u);
    EXPECT_EQ(MemStreamClose(h), 0);
}

TEST(TempFile, CreatedInTheTempFolderWithPrefix) {
    char path[MAX_PATH] = {};
    void* h = CreateTempFile(path);
    ASSERT_NE(h, nullptr);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    EXPECT_EQ(std::strncmp(path, dir, std::strlen(dir)), 0) << path;
    const char* name = std::strrchr(path, '\\');
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(_strnicmp(name + 1, "tmp", 3), 0) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile((HANDLE)h, "abc", 3, &written, nullptr));
    CloseHandle((HANDLE)h);
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(path);
}

}  // namespace
