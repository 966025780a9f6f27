/* A library the processing tests load at run time: its exported routine calls back into the program
   through a static routine that no export covers. Built without optimisation, so that every call stays a
   call with its return address on the stack. */
typedef void (*repproc_callback)(void);

static void repproc_relay(repproc_callback callback) {
    callback();
    __asm__ volatile("" ::: "memory");
}

void* repproc_relay_address(void) {
    return (void*)&repproc_relay;
}

void repproc_call_back(repproc_callback callback) {
    repproc_relay(callback);
    __asm__ volatile("" ::: "memory");
}
