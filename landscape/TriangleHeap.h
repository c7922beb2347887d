#pragma once
// Binary heaps of triangle pointers that keep each entry's position in the
// triangle (splitIndex or mergeIndex), so that any entry can be removed or
// re-placed in O(log n). Beside the pointers the heap keeps a copy of each
// entry's key in a parallel array, so that sifting reads contiguous memory
// instead of the triangles themselves. Order is a policy:
//   static float Key(const RoamTriangle*);
//   static std::int32_t& Index(RoamTriangle*);
//   static bool Above(float a, float b); // a belongs nearer the top than b
#include <cstdint>

#include "landscape/RoamTriangle.h"

struct SplitOrder {
    static float Key(const RoamTriangle* t) { return t->priority; }
    static std::int32_t& Index(RoamTriangle* t) { return t->splitIndex; }
    static bool Above(float a, float b) { return a > b; }
};

struct MergeOrder {
    static float Key(const RoamTriangle* t) { return t->mergePriority; }
    static std::int32_t& Index(RoamTriangle* t) { return t->mergeIndex; }
    static bool Above(float a, float b) { return a < b; }
};

template <class Order>
class TriangleHeap {
public:
    // Entry `pos` moves up to its place; its key is read from the triangle.
    static void SiftUp(RoamTriangle** q, float* keys, std::int32_t pos)
    {
        RoamTriangle* t = q[pos];
        const float key = Order::Key(t);
        while (pos > 0) {
            const std::int32_t parent = (pos - 1) / 2;
            if (!Order::Above(key, keys[parent])) {
                break;
            }
            q[pos] = q[parent];
            keys[pos] = keys[parent];
            Order::Index(q[pos]) = pos;
            pos = parent;
        }
        q[pos] = t;
        keys[pos] = key;
        Order::Index(t) = pos;
    }

    static void SiftDown(RoamTriangle** q, float* keys, std::int32_t count, std::int32_t pos)
    {
        keys[pos] = Order::Key(q[pos]);
        Order::Index(q[pos]) = pos;
        SiftDownFromKeys(q, keys, count, pos);
    }

    // SiftDown with the moving entry's key taken from keys[pos].
    static void SiftDownFromKeys(RoamTriangle** q, float* keys, std::int32_t count, std::int32_t pos)
    {
        RoamTriangle* t = q[pos];
        const float key = keys[pos];
        const std::int32_t start = pos;
        for (;;) {
            std::int32_t child = 2 * pos + 1;
            if (child >= count) {
                break;
            }
            if (child + 1 < count && Order::Above(keys[child + 1], keys[child])) {
                ++child;
            }
            if (!Order::Above(keys[child], key)) {
                break;
            }
            q[pos] = q[child];
            keys[pos] = keys[child];
            Order::Index(q[pos]) = pos;
            pos = child;
        }
        if (pos != start) {
            q[pos] = t;
            keys[pos] = key;
            Order::Index(t) = pos;
        }
    }

    // Caller guarantees room for one more entry.
    static void Push(RoamTriangle** q, float* keys, std::int32_t& count, RoamTriangle* t)
    {
        q[count] = t;
        ++count;
        SiftUp(q, keys, count - 1);
    }

    // Removes the entry at `pos`; its index becomes -1.
    static void RemoveAt(RoamTriangle** q, float* keys, std::int32_t& count, std::int32_t pos)
    {
        RoamTriangle* removed = q[pos];
        --count;
        if (pos != count) {
            q[pos] = q[count];
            Replace(q, keys, count, pos);
        }
        Order::Index(removed) = -1;
    }

    // Re-places the entry at `pos` after its triangle's key changed.
    static void Replace(RoamTriangle** q, float* keys, std::int32_t count, std::int32_t pos)
    {
        if (pos > 0 && Order::Above(Order::Key(q[pos]), keys[(pos - 1) / 2])) {
            SiftUp(q, keys, pos);
        } else {
            SiftDown(q, keys, count, pos);
        }
    }

    // Heap order from scratch, O(n), with keys and indices read afresh.
    static void Build(RoamTriangle** q, float* keys, std::int32_t count)
    {
        for (std::int32_t i = 0; i < count; ++i) {
            keys[i] = Order::Key(q[i]);
            Order::Index(q[i]) = i;
        }
        Heapify(q, keys, count);
    }

    // Heap order from scratch, O(n), when keys[i] and every entry's index
    // already match q[i].
    static void Heapify(RoamTriangle** q, float* keys, std::int32_t count)
    {
        for (std::int32_t i = count / 2 - 1; i >= 0; --i) {
            SiftDownFromKeys(q, keys, count, i);
        }
    }
};
