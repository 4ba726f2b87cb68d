// Process entry point.
#include "app/entry.hpp"

int main(int argc, char** argv) {
    return ostrel::run_app(argc, argv);
}
