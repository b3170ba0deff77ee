#include "foundation/Plex.h"

#include <new>

#include "foundation/String.h"

CPlex* CPlex::Create(CPlex*& head, int nMax, int cbElement)
{
    if (!(nMax > 0 && cbElement > 0)) {
        ReportAssertFailure("nMax > 0 && cbElement > 0", __FILE__, __LINE__, __func__);
        return nullptr;
    }
    size_t bytes = sizeof(CPlex) + static_cast<size_t>(nMax) * static_cast<size_t>(cbElement);
    CPlex* block = static_cast<CPlex*>(::operator new[](bytes));
    block->pNext = head;
    head = block;
    return block;
}

void CPlex::FreeDataChain()
{
    CPlex* block = this;
    while (block != nullptr) {
        CPlex* next = block->pNext;
        ::operator delete[](static_cast<void*>(block));
        block = next;
    }
}
