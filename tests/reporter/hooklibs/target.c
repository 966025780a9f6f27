/* The routine whose imports the patching tests redirect. */
int VdHookTarget(int x) {
    return x + 1;
}
