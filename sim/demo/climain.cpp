#include "archive/archivelocation.h"
#include "cli/commandline.h"
#include "sim/demo/demomodule.h"

// talvik-cli on the demo module: every command works without hardware. Each
// run starts from the same module; nothing it changes outlives the process.
int main(int argc, char *argv[])
{
    plugInDemoModule();
    // The demo's downloads never mix with real stations' archive.
    archive::useDemoArchive();
    return cli::main(argc, argv);
}
