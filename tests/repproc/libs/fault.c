/* A library the processing tests load at run time: its routine faults inside it. */
void repproc_library_fault(void) {
    volatile int* volatile target = (int*)16;
    *target = 1;
}
