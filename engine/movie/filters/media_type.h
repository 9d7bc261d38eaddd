// One AM_MEDIA_TYPE as a value: the format block lives in COM task memory and
// the interface pointer holds a reference.
#pragma once
#include <windows.h>
#include <dshow.h>

class D_CMediaType : public AM_MEDIA_TYPE {
public:
    D_CMediaType();
    ~D_CMediaType();
    D_CMediaType(const D_CMediaType&) = delete;
    D_CMediaType& operator=(const D_CMediaType&) = delete;

    // Deep copy; E_OUTOFMEMORY when the format block cannot be copied.
    HRESULT Assign(const AM_MEDIA_TYPE& source);
    D_CMediaType& operator=(const AM_MEDIA_TYPE& source) {
        Assign(source);
        return *this;
    }
    void SetMajorType(const GUID& type) { majortype = type; }
    void SetSubtype(const GUID& type) { subtype = type; }
    bool operator==(const AM_MEDIA_TYPE& other) const;
    bool operator!=(const AM_MEDIA_TYPE& other) const { return !(*this == other); }
    bool IsPartial() const;
    // Hands the contents to target (which must be empty) and leaves this type empty.
    void MoveInto(AM_MEDIA_TYPE* target);
};

// The empty type: all zero, fixed-size samples, sample size 1.
void MediaTypeInit(AM_MEDIA_TYPE* type);
void FreeMediaTypeContents(AM_MEDIA_TYPE* type);
HRESULT CopyMediaTypeInto(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A copy in a task-memory block of its own (null when memory runs out).
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE* source);
void DeleteMediaType(AM_MEDIA_TYPE* type);
bool MediaTypeEquals(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b);
bool MediaTypeIsPartial(const AM_MEDIA_TYPE* type);
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE* candidate, const AM_MEDIA_TYPE* partial);
