// The scene's intrusive lists: each object or template carries its own next
// and previous links for a list, and the list is a head (and a count) kept by
// the scene. New entries go to the front, so every list is walked newest
// first; the order is part of the lockstep simulation.
#pragma once

#include <cstdint>

// Puts item at the front of the list through its Next and Prev members.
template <auto Next, auto Prev, class T, class Head>
void SceneList_PushFront(Head*& head, int32_t* count, T* item) {
    item->*Prev = nullptr;
    item->*Next = head;
    if (head) head->*Prev = item;
    head = item;
    if (count) ++*count;
}

// Takes item out of the list.
template <auto Next, auto Prev, class T, class Head>
void SceneList_Unlink(Head*& head, int32_t* count, T* item) {
    if (item->*Prev)
        item->*Prev->*Next = item->*Next;
    else
        head = item->*Next;
    if (item->*Next) item->*Next->*Prev = item->*Prev;
    item->*Next = nullptr;
    item->*Prev = nullptr;
    if (count) --*count;
}
