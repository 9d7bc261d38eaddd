// Pointer list with a node cache.
#include "engine/movie/filters/base_list.h"
#include <new>

D_CBaseList::D_CBaseList() : head_(nullptr), tail_(nullptr), count_(0), cacheMax_(10), cachedCount_(0), cache_(nullptr) {}

D_CBaseList::~D_CBaseList() {
    RemoveAll();
    while (Node* n = RemoveFromCache()) delete n;
}

void D_CBaseList::AddToCache(Node* node) {
    if (cachedCount_ >= cacheMax_) {
        delete node;
        return;
    }
    node->next = cache_;
    cache_ = node;
    ++cachedCount_;
}

D_CBaseList::Node* D_CBaseList::RemoveFromCache() {
    Node* n = cache_;
    if (n) {
        cache_ = n->next;
        --cachedCount_;
    }
    return n;
}

D_CBaseList::Position D_CBaseList::AddTail(void* object) {
    Node* n = RemoveFromCache();
    if (!n) n = new (std::nothrow) Node;
    if (!n) return nullptr;
    n->object = object;
    n->next = nullptr;
    n->prev = tail_;
    if (tail_) tail_->next = n;
    else head_ = n;
    tail_ = n;
    ++count_;
    return n;
}

bool D_CBaseList::AddTail(const D_CBaseList& other) {
    for (Node* n = other.head_; n; n = n->next)
        if (!AddTail(n->object)) return false;
    return true;
}

void* D_CBaseList::Remove(Position node) {
    if (!node) return nullptr;
    if (node->prev) node->prev->next = node->next;
    else head_ = node->next;
    if (node->next) node->next->prev = node->prev;
    else tail_ = node->prev;
    void* object = node->object;
    AddToCache(node);
    --count_;
    return object;
}

void D_CBaseList::RemoveAll() {
    Node* n = head_;
    while (n) {
        Node* next = n->next;
        delete n;
        n = next;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
}

D_CBaseList::Position D_CBaseList::Find(void* object) const {
    for (Node* n = head_; n; n = n->next)
        if (n->object == object) return n;
    return nullptr;
}

void* D_CBaseList::GetNext(Position& pos) const {
    if (!pos) return nullptr;
    void* object = pos->object;
    pos = pos->next;
    return object;
}
