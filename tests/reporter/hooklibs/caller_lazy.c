/* Calls the target through a lazily bound PLT slot. */
int VdHookTarget(int x);
int VdCallLazy(int x) {
    return VdHookTarget(x) * 10;
}
