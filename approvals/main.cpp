#include "PellwickApp.h"

int main(int argc, char** argv) {
    return CPellwickApp::Run(argc, argv);
}
