#pragma once
// Chain of raw blocks: each block starts with a link to the block created
// before it, followed by nMax elements of cbElement bytes.

#include <cstddef>

struct CPlex {
    CPlex* pNext;

    void* data() { return this + 1; }

    // Links a new block in front of head and returns it; null when the sizes are not positive.
    static CPlex* Create(CPlex*& head, int nMax, int cbElement);
    // Frees this block and every block reached through the links.
    void FreeDataChain();
};

using Plex = CPlex;
