// Stands for the product's main program in the running-program tests: it only waits until
// the test ends it.
#include <windows.h>

int main() {
    ::Sleep(120000);
    return 0;
}
