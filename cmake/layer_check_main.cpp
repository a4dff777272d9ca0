// Entry point of the layer checks: each check links one library whole with nothing but the
// libraries it declares, so that a call into a layer above it is an undefined reference. The
// program is never run.
int main() { return 0; }
