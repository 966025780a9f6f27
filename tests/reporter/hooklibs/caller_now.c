/* Calls the target through a GOT slot bound at load time and made read-only afterwards (RELRO). */
int VdHookTarget(int x);
int VdCallNow(int x) {
    return VdHookTarget(x) * 100;
}
