// Intrusive lists: the owner holds the head, each item names its
// neighbours through a next and a previous member of its own. Items join at
// the head and leave from anywhere; an item that is not in the list leaves it
// unchanged.
//
//     using SNodeLinks = SListLinks<CE3DNode, &CE3DNode::m_next, &CE3DNode::m_prev>;
//     SNodeLinks::Push(engine->m_nodes, node);
//
// A list of private members names them where it is used (inside a member
// function), which has access to them.
#pragma once

template <class T, T* T::*Next, T* T::*Prev>
struct SListLinks {
    static void Push(T*& head, T* item) {
        item->*Prev = nullptr;
        item->*Next = head;
        if (head) head->*Prev = item;
        head = item;
    }
    static void Unlink(T*& head, T* item) {
        if (item->*Prev)
            (item->*Prev)->*Next = item->*Next;
        else if (head == item)
            head = item->*Next;
        else
            return;
        if (item->*Next) (item->*Next)->*Prev = item->*Prev;
        item->*Next = item->*Prev = nullptr;
    }
};
