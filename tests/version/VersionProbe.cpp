// Prints the version string the running program reads for itself, and its translation.
#include <cstdio>

#include "version/VersionInfo.h"

int main() {
    orvex::VersionInfo info(orvex::kProgramModule);
    std::printf("%s %s\n", info.ProductVersion().c_str(), info.Translation().c_str());
    return 0;
}
