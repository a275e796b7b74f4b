// Base of everything a HANDLE can name. Objects are shared: a thread that works on
// one keeps it alive even while another thread closes its handle.
#pragma once

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Called once, when the last handle to the object is closed.
    virtual void onHandleClosed() {}
};
