// Process entry of the Windows build (linked with -municode).
#include "../platform.h"

int WorkerMain(int argc, WCHAR** argv);

int wmain(int argc, wchar_t** argv) {
    return WorkerMain(argc, argv);
}
