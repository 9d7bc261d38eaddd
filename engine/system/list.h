// Intrusive doubly linked list with head and tail sentinels. Callers iterate
// from head->next until the tail.
#pragma once

struct ListNode {
    ListNode* prev;
    ListNode* next;
    int key;
    void* data;
};

void ListInit(ListNode* head, ListNode* tail);
void ListAddFirst(ListNode* head, ListNode* node, int key, void* data);
void ListRemove(ListNode* node);
