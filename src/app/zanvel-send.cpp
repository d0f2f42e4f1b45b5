#include "send/SendProgram.h"

int main(int argc, char** argv) {
    return RunSend(argc, argv);
}
