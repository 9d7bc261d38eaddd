// Media type value: copy, compare and wildcard match.
#include "engine/movie/filters/media_type.h"
#include <cstring>
#include "engine/system/entry_points.h"

void MediaTypeInit(AM_MEDIA_TYPE* type) {
    std::memset(type, 0, sizeof *type);
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
}

void FreeMediaTypeContents(AM_MEDIA_TYPE* type) {
    if (type->pbFormat) WinApi.CoTaskMemFree(type->pbFormat);
    type->cbFormat = 0;
    type->pbFormat = nullptr;
    if (type->pUnk) {
        type->pUnk->Release();
        type->pUnk = nullptr;
    }
}

HRESULT CopyMediaTypeInto(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = (BYTE*)WinApi.CoTaskMemAlloc(source->cbFormat);
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE* source) {
    AM_MEDIA_TYPE* copy = (AM_MEDIA_TYPE*)WinApi.CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
    if (!copy) return nullptr;
    if (FAILED(CopyMediaTypeInto(copy, source))) {
        WinApi.CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return;
    FreeMediaTypeContents(type);
    WinApi.CoTaskMemFree(type);
}

bool MediaTypeEquals(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b) {
    if (!IsEqualGUID(a->majortype, b->majortype) || !IsEqualGUID(a->subtype, b->subtype) ||
        !IsEqualGUID(a->formattype, b->formattype) || a->cbFormat != b->cbFormat)
        return false;
    return a->cbFormat == 0 || std::memcmp(a->pbFormat, b->pbFormat, a->cbFormat) == 0;
}

bool MediaTypeIsPartial(const AM_MEDIA_TYPE* type) {
    return IsEqualGUID(type->majortype, GUID_NULL) || IsEqualGUID(type->formattype, GUID_NULL);
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE* candidate, const AM_MEDIA_TYPE* partial) {
    if (!IsEqualGUID(partial->majortype, GUID_NULL) && !IsEqualGUID(partial->majortype, candidate->majortype))
        return false;
    if (!IsEqualGUID(partial->subtype, GUID_NULL) && !IsEqualGUID(partial->subtype, candidate->subtype)) return false;
    if (IsEqualGUID(partial->formattype, GUID_NULL)) return true;
    if (!IsEqualGUID(partial->formattype, candidate->formattype) || partial->cbFormat != candidate->cbFormat)
        return false;
    return partial->cbFormat == 0 || std::memcmp(partial->pbFormat, candidate->pbFormat, partial->cbFormat) == 0;
}

D_CMediaType::D_CMediaType() { MediaTypeInit(this); }

D_CMediaType::~D_CMediaType() { FreeMediaTypeContents(this); }

HRESULT D_CMediaType::Assign(const AM_MEDIA_TYPE& source) {
    if (&source == static_cast<AM_MEDIA_TYPE*>(this)) return S_OK;
    FreeMediaTypeContents(this);
    return CopyMediaTypeInto(this, &source);
}

bool D_CMediaType::operator==(const AM_MEDIA_TYPE& other) const { return MediaTypeEquals(this, &other); }

bool D_CMediaType::IsPartial() const { return MediaTypeIsPartial(this); }

void D_CMediaType::MoveInto(AM_MEDIA_TYPE* target) {
    *target = *static_cast<AM_MEDIA_TYPE*>(this);
    pbFormat = nullptr;
    cbFormat = 0;
    pUnk = nullptr;
}
