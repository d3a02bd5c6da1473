#include "app/driver.h"

int main(int argc, char** argv) {
    return vexta::vextawZ(argc, argv);
}
