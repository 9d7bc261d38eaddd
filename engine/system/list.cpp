#include "engine/system/list.h"

void ListInit(ListNode* head, ListNode* tail) {
    head->prev = nullptr;
    head->next = tail;
    tail->prev = head;
    tail->next = nullptr;
    head->key = tail->key = 0;
    head->data = tail->data = nullptr;
}

void ListAddFirst(ListNode* head, ListNode* node, int key, void* data) {
    node->key = key;
    node->data = data;
    node->prev = head;
    node->next = head->next;
    head->next->prev = node;
    head->next = node;
}

void ListRemove(ListNode* node) {
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    node->prev = node->next = nullptr;
}
