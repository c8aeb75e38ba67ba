// The baseline for the benchmark: a console program from the same toolchain
// and flags that starts and ends.
int main() { return 0; }
