/* A library whose constructor faults while the loader opens it (and holds its lock). */
__attribute__((constructor)) static void repproc_constructor_fault(void) {
    volatile int* volatile target = (int*)16;
    *target = 1;
}
