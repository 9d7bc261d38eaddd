#include "engine/file/stream.h"

#include <cstring>

#include "engine/file/file_stream.h"
#include "engine/system/memory.h"

namespace {

int64_t FileTell(uintptr_t h) { return FileFunctions.Tell((ArchiveFileHandle)h); }
int FileSeek(uintptr_t h, int64_t offset, int origin) { return FileFunctions.Seek((ArchiveFileHandle)h, offset, origin); }
size_t FileRead(void* buffer, size_t elem_size, size_t count, uintptr_t h) {
    return FileFunctions.Read(buffer, elem_size, count, (ArchiveFileHandle)h);
}
int FileEof(uintptr_t h) { return FileFunctions.Eof((ArchiveFileHandle)h); }
int FileIdle(uintptr_t h) { return FileFunctions.IdleCheck((ArchiveFileHandle)h); }
int FileClose(uintptr_t h) { return FileFunctions.Close((ArchiveFileHandle)h); }

const StreamFunctions kFileStream = {FileTell, FileSeek, FileRead, FileEof, FileIdle, FileClose};

struct MemStream {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

int64_t MemTell(uintptr_t h) { return (int64_t)((MemStream*)h)->pos; }

int MemSeek(uintptr_t h, int64_t offset, int origin) {
    MemStream* s = (MemStream*)h;
    int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = (int64_t)s->pos; break;
    case 2: base = (int64_t)s->size; break;
    default: return -1;
    }
    int64_t to = base + offset;
    if (to < 0 || to > (int64_t)s->size) return -1;
    s->pos = (size_t)to;
    return 0;
}

size_t MemRead(void* buffer, size_t elem_size, size_t count, uintptr_t h) {
    MemStream* s = (MemStream*)h;
    if (elem_size == 0 || count == 0) return 0;
    // Like a file read: the bytes of a last partial element are consumed too.
    size_t rest = s->size - s->pos;
    size_t want = count > rest / elem_size ? rest : count * elem_size;
    std::memcpy(buffer, s->data + s->pos, want);
    s->pos += want;
    return want / elem_size;
}

int MemEof(uintptr_t h) {
    MemStream* s = (MemStream*)h;
    return s->pos >= s->size ? 1 : 0;
}

int MemIdle(uintptr_t) { return 1; }

const StreamFunctions kMemStream = {MemTell, MemSeek, MemRead, MemEof, MemIdle, MemStreamClose};

}  // namespace

const StreamFunctions* GetFileStreamTable() { return &kFileStream; }
const StreamFunctions* GetMemStreamTable() { return &kMemStream; }

uintptr_t MemStreamOpen(const void* data, size_t size) {
    MemStream* s = (MemStream*)MemAlloc(sizeof(MemStream), "stream.cpp", __LINE__);
    if (!s) return 0;
    s->data = (const unsigned char*)data;
    s->size = size;
    s->pos = 0;
    return (uintptr_t)s;
}

int MemStreamClose(uintptr_t handle) {
    if (!handle) return -1;
    MemFree((void*)handle);
    return 0;
}

int StreamOpenFile(StreamData* sd, const char* path) {
    ArchiveFileHandle h = FileFunctions.Open(path, 0, 1, 0);
    if (!h) return -1;
    sd->funcs = kFileStream;
    sd->handle = h;
    return 0;
}

int StreamOpenMemory(StreamData* sd, const void* data, size_t size) {
    uintptr_t h = MemStreamOpen(data, size);
    if (!h) return -1;
    sd->funcs = kMemStream;
    sd->handle = h;
    return 0;
}
