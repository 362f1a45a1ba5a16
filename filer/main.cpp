#include "CalvenorApp.h"

int main(int argc, char** argv) {
    return CCalvenorApp::Run(argc, argv);
}
