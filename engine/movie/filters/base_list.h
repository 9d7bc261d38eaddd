// Doubly linked list of untyped pointers with a small cache of spare nodes.
// No lock of its own: the owner's lock covers it.
#pragma once

class D_CBaseList {
public:
    struct Node {
        Node* prev;
        Node* next;
        void* object;
    };
    typedef Node* Position;   // null stands before the first node

    D_CBaseList();
    ~D_CBaseList();
    D_CBaseList(const D_CBaseList&) = delete;
    D_CBaseList& operator=(const D_CBaseList&) = delete;

    Position AddTail(void* object);       // null when no node can be had
    bool AddTail(const D_CBaseList& other);
    void* Remove(Position node);
    void* RemoveHead() { return Remove(head_); }
    void RemoveAll();
    Position Find(void* object) const;
    void* GetNext(Position& pos) const;
    void* Get(Position pos) const { return pos ? pos->object : nullptr; }
    Position Next(Position pos) const { return pos ? pos->next : head_; }
    Position Head() const { return head_; }
    int Count() const { return count_; }
    int CachedCount() const { return cachedCount_; }

private:
    void AddToCache(Node* node);
    Node* RemoveFromCache();

    Node* head_;
    Node* tail_;
    int count_;
    int cacheMax_;
    int cachedCount_;
    Node* cache_;
};
