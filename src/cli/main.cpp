#include <cstdio>
int main() { std::puts("tern: not built yet"); }
