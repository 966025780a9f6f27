// Builds the test binaries' shared precompiled header; the program itself does nothing.
int main() {
    return 0;
}
