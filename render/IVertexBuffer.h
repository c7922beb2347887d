#pragma once
#include <cstddef>

// A vertex buffer created by an IDevice. Lock hands out a CPU-writable pointer
// to the whole buffer; what is written becomes visible to draws after Unlock.
// Any thread may call these; the device serialises them.
class IVertexBuffer {
public:
    // Whole buffer, no flags. 0 and a pointer, or -1 and null.
    virtual int Lock(void** data) = 0;
    virtual int Unlock() = 0;
    // Destroys the buffer; the pointer is invalid afterwards.
    virtual void Release() = 0;
    virtual std::size_t Length() const = 0;

protected:
    virtual ~IVertexBuffer() = default;
};
