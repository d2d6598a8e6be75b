// Process entry of corvel. Placeholder until the command line lands.
#include <cstdio>

int main() {
    std::fputs("corvel: not built yet\n", stderr);
    return 1;
}
